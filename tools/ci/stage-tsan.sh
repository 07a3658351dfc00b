#!/usr/bin/env bash
# Builds the kavu_io library, the configurator's I/O layer and their tests
# with ThreadSanitizer and runs them: the library's tests (label kavu_io) and
# the worker tests of the configurator (label io_threads: jobs, polling, the
# port arbiter against hrc417-sim). Any data race fails the stage.
# Only the targets these tests need are built, with light optimisation and
# line tables only, so the stage stays short on two cores.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-tsan
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

cmake -S . -B "$build" -G Ninja -DHRC_BUILD_BENCH=OFF -DHRC_SANITIZE=thread \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
cmake --build "$build" -j"$jobs" --target \
  tst_frame_codec tst_value_codec tst_exchange tst_ports tst_threads tst_allocations tst_link_stats tst_net_codec \
  hrc417-sim tst_kavuiohelper tst_kavumon tst_portarbiter
tsan="halt_on_error=1 second_deadlock_stack=1"
TSAN_OPTIONS="$tsan" \
  ctest --test-dir "$build" --output-on-failure --timeout 900 -j"$jobs" -L kavu_io
# Qt is not built with ThreadSanitizer: its own accesses are left out
# (ignore_noninstrumented_modules), so what it does inside (posted events,
# QThread's end) raises no report while every access of the project's code
# is checked. The workers' shared state is guarded by standard mutexes and
# atomics, which ThreadSanitizer follows. The one hand-over through Qt that
# runs code of the program is suppressed in tsan-qt.supp.
TSAN_OPTIONS="$tsan ignore_noninstrumented_modules=1 suppressions=$PWD/tools/ci/tsan-qt.supp" \
  ctest --test-dir "$build" --output-on-failure --timeout 900 -j"$jobs" -L io_threads
