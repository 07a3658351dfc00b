#!/usr/bin/env bash
# Tries the configurator against the simulated controller: sets up what a fresh
# Debian 12 machine lacks, builds, starts hrc417-sim on a pseudo-terminal and
# starts the configurator (--port) with "Port" pointing at it: the setup wizard
# opens first, and "Проверка связи" works on the first click; "Настройка
# параметров" hands over to the main window. Closing the configurator stops the
# simulator.
#
#   bash tools/run-demo.sh            (as root, or a user who may use sudo)
#   JOBS=2 bash tools/run-demo.sh     (fewer parallel compiler jobs)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build="$root/build"

bash tools/ci/setup-debian.sh --run

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  cat >&2 <<'TEXT'
run-demo: there is no display to show the configurator on.
  - Run it from a desktop session, or log in with "ssh -X" (X forwarding).
  - Or start it on a virtual screen: xvfb-run -a bash tools/run-demo.sh
    (xvfb is installed by the set-up; you will not see the window, but the
    screenshots of every window can be made with one command:
    bash tools/screenshots/take-screenshots.sh).
TEXT
  exit 2
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja
fi
cmake --build "$build" -j"${JOBS:-$(nproc)}" --target configurator hrc417-sim

state="$build/demo"
mkdir -p "$state"
sim_out="$state/hrc417-sim.out"
: > "$sim_out"
# The simulator keeps its parameter values between runs in demo.hrc417.
"$build/tools/hrc417-sim/hrc417-sim" --verbose --state "$state/demo.hrc417" >"$sim_out" 2>"$state/hrc417-sim.log" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT

# The first line the simulator prints is its terminal.
for _ in $(seq 100); do
  pty=$(head -n 1 "$sim_out")
  [ -n "$pty" ] && break
  kill -0 "$sim" 2>/dev/null || { echo "run-demo: hrc417-sim did not start:" >&2; cat "$state/hrc417-sim.log" >&2; exit 1; }
  sleep 0.1
done
[ -n "$pty" ] || { echo "run-demo: hrc417-sim printed no terminal" >&2; exit 1; }
echo "run-demo: simulated HRC417 on $pty (exchange log: $state/hrc417-sim.log)"

# A settings store of its own, so the demo's link settings are the factory
# ones the simulator answers to, whatever an earlier session saved.
export XDG_CONFIG_HOME="$state/config"
"$build/configurator/app/configurator" --port "$pty"
