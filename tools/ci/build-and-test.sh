#!/usr/bin/env bash
# Configures, builds and runs the whole CTest suite in one build directory.
#   build-and-test.sh BUILD_DIR [extra cmake arguments...]
set -euo pipefail
build_dir=$1; shift
cmake -S . -B "$build_dir" -G Ninja "$@"
cmake --build "$build_dir" -j"$(nproc)"
# The suite's output is kept as well, so that the run can end on its closing line.
ctest --test-dir "$build_dir" --output-on-failure --timeout 600 -j"$(nproc)" 2>&1 | tee "$build_dir/ctest.log"
