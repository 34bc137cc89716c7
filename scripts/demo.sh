#!/usr/bin/env bash
# Shows zelvano-cli at work. Grows with the command-line front end.
set -euo pipefail
build=${1:-build}
cli="$build/src/cli/zelvano-cli"
"$cli" --version
echo "Scanning and unpacking a sample tree of photo archives is coming with the scan and unpack commands."
