#!/usr/bin/env bash
# Installs what is missing, builds with sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

BUILD_DIR=${MELTRIX_BUILD_DIR:-build/test}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMELTRIX_SANITIZE=ON
cmake --build "$BUILD_DIR" --parallel "$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)"
