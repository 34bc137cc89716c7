#!/usr/bin/env bash
# Starts the desktop program when it is built; until then shows what zelvano-cli does on the demo tree.
set -euo pipefail
build=${1:-build}
if [ -x "$build/src/app/zelvano" ]; then
  exec "$build/src/app/zelvano"
fi
echo "The desktop program is not built yet; running the command-line demo instead."
exec bash "$(dirname "$0")/demo.sh" "$build"
