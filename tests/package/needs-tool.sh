#!/bin/sh
# needs-tool.sh TOOL [ARGS...]: runs TOOL with ARGS, or exits 77 (a skipped test) when TOOL is not installed.
if ! command -v "$1" >/dev/null 2>&1; then
  echo "$1 is not installed: skipped"
  exit 77
fi
exec "$@"
