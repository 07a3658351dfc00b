#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and passes every test of the project:
# the normal build, the AddressSanitizer/UndefinedBehaviorSanitizer build,
# the ThreadSanitizer build of the library and the configurator's workers,
# the bounded fuzz run and the Windows cross-build tested under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

bash tools/ci/setup-debian.sh

stage() { echo; echo "==== $* ===="; }

stage "release build and tests"
bash tools/ci/build-and-test.sh build

stage "address and undefined-behaviour sanitizers"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  bash tools/ci/build-and-test.sh build-asan -DHRC_SANITIZE=address,undefined -DHRC_BUILD_BENCH=OFF

for extra in tools/ci/stage-*.sh; do
  [ -e "$extra" ] || continue
  stage "$(basename "$extra" .sh)"
  bash "$extra"
done

# The suite once more, so that the run ends on the whole suite's closing line.
stage "release tests once more (summary)"
ctest --test-dir build --timeout 600 -j"$(nproc)" > build/ctest-summary.log 2>&1 \
  || { cat build/ctest-summary.log; exit 1; }
grep -E '^[0-9]+% tests passed' build/ctest-summary.log
