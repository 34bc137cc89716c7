#!/usr/bin/env bash
# Starts the desktop program of the build folder: scripts/run.sh [BUILD] [ARGUMENT...]
set -euo pipefail
build=${1:-build}
shift || true
program="$build/src/app/zelvano"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: set DISPLAY or WAYLAND_DISPLAY, or run \`make demo\` for the command-line demo" >&2
  exit 1
fi
if [ ! -x "$program" ]; then
  echo "$program is not built" >&2
  exit 1
fi
exec "$program" "$@"
