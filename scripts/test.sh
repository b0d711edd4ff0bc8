#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the whole suite with
# warnings as errors, the program alone with a second generator (Unix Makefiles), then the
# headless tests again under AddressSanitizer and UBSan.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh" || exit 1
jobs=$(nproc)
status=0

cmake --preset test >/dev/null || exit 1
cmake --build --preset test -j "$jobs" || exit 1
ctest --preset test -j "$jobs" || status=1

# The program once more with Unix Makefiles: Ninja's ordering can hide a missing dependency
# between targets that another generator trips over.
cmake --preset make >/dev/null || exit 1
cmake --build --preset make -j "$jobs" || exit 1

cmake --preset sanitize >/dev/null || exit 1
cmake --build --preset sanitize -j "$jobs" || exit 1
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --preset sanitize -j "$jobs" -L unit || status=1

exit $status
