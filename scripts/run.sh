#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
cmake --preset default -S "$top" >/dev/null
cmake --build --preset default
exec "$top/build/program/vizavuz-antivirus"
