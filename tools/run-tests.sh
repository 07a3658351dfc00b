#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and passes every test of the project:
# the normal build, the AddressSanitizer/UndefinedBehaviorSanitizer build,
# the ThreadSanitizer build of the library and the configurator's workers,
# the bounded fuzz run and the Windows cross-build tested under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

bash tools/ci/setup-debian.sh

started=$SECONDS
stage() { echo; echo "==== $* ($(( (SECONDS - started) / 60 )) min since the start) ===="; }

stage "release build and tests"
bash tools/ci/build-and-test.sh build

# Light optimisation and line tables only: the reports keep their file and
# line, and the build is shorter on two cores.
stage "address and undefined-behaviour sanitizers"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  bash tools/ci/build-and-test.sh build-asan -DHRC_SANITIZE=address,undefined -DHRC_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1"

for extra in tools/ci/stage-*.sh; do
  [ -e "$extra" ] || continue
  stage "$(basename "$extra" .sh)"
  bash "$extra"
done

# The run ends on the release suite's closing line (kept from its stage
# above, not run a third time).
stage "release tests (summary)"
grep -E '^[0-9]+% tests passed' build/ctest.log
