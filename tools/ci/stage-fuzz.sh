#!/usr/bin/env bash
# Builds the kavu_io reply-path fuzzer with clang (libFuzzer, ASan, UBSan)
# in its own build directory and runs it for a bounded time (FUZZ_SECONDS,
# default 60). Any crash, sanitizer report or leak fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-fuzz
seconds=${FUZZ_SECONDS:-60}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
  -DHRC_BUILD_CONFIGURATOR=OFF -DHRC_BUILD_BENCH=OFF -DHRC_BUILD_FUZZ=ON \
  -DHRC_SANITIZE=address,undefined
cmake --build "$build" -j2 --target fuzz_kavu_reply

corpus="$build/fuzz-corpus"
mkdir -p "$corpus"
"$build/tests/kavu_io/fuzz_kavu_reply" -max_total_time="$seconds" -max_len=256 -timeout=10 \
  -print_final_stats=1 "$corpus" tests/kavu_io/fuzz/seeds
