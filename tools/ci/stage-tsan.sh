#!/usr/bin/env bash
# Builds the kavu_io library and its tests with ThreadSanitizer (no Qt
# parts) and runs them; any data race fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-tsan

cmake -S . -B "$build" -G Ninja -DHRC_BUILD_CONFIGURATOR=OFF -DHRC_BUILD_BENCH=OFF -DHRC_SANITIZE=thread
cmake --build "$build" -j2
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir "$build" --output-on-failure --timeout 600 -j2 -L kavu_io
