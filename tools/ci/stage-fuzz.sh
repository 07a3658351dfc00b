#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (libFuzzer, ASan, UBSan) in their
# own build directory and runs each for a bounded time: the kavu_io reply path
# (FUZZ_SECONDS, default 60), the value codec's text and wire parsing and the
# language-file reader (FUZZ_SECONDS_QT each, default 25). Any crash,
# sanitizer report or leak fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-fuzz
seconds=${FUZZ_SECONDS:-60}
qt_seconds=${FUZZ_SECONDS_QT:-25}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
  -DHRC_BUILD_BENCH=OFF -DHRC_BUILD_FUZZ=ON \
  -DHRC_SANITIZE=address,undefined
cmake --build "$build" -j2 --target fuzz_kavu_reply fuzz_value_codec fuzz_language_file

run() { # name, binary, seeds, seconds, max_len
  local corpus="$build/fuzz-corpus/$1"
  mkdir -p "$corpus"
  echo "== $1: $4 s"
  LSAN_OPTIONS="suppressions=$PWD/tests/configurator/qt-offscreen.supp" \
    "$2" -max_total_time="$4" -max_len="$5" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-corpus/$1-" "$corpus" "$3"
}
run reply "$build/tests/kavu_io/fuzz_kavu_reply" tests/kavu_io/fuzz/seeds "$seconds" 256
run value_codec "$build/tests/configurator/model/fuzz_value_codec" tests/configurator/model/fuzz/seeds "$qt_seconds" 512
run language_file "$build/tests/configurator/i18n/fuzz_language_file" tests/configurator/i18n/fuzz/seeds "$qt_seconds" 4096
