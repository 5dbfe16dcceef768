#!/usr/bin/env bash
# Start-up, memory and idle cost of `tandemo --simulate` against a minimal Qt 6 Widgets program
# (qt_floor), both under a private Xvfb server (and a private session bus when dbus-daemon is
# installed, as on a desktop): the median time from spawn to the window mapped over RUNS runs,
# and the median resident memory 2 s later and CPU time in the 10 s after over IDLE_RUNS runs.
#
#   bash bench/app_startup.sh [BUILD_DIR]     (default build/bench; RUNS=10 IDLE_RUNS=3)
set -euo pipefail

build=${1:-build/bench}
runs=${RUNS:-10}
idle_runs=${IDLE_RUNS:-3}
probe=$build/bench/startup_probe
floor=$build/bench/qt_floor
app=$build/apps/tandemo/tandemo
for program in "$probe" "$floor" "$app"; do
  [[ -x $program ]] || { echo "app_startup: $program is not built (cmake --build --preset bench)" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "app_startup: Xvfb is missing (scripts/install-deps.sh)" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to the descriptor given.
mkfifo "$work/display"
exec {displayfd}<>"$work/display"
Xvfb -displayfd "$displayfd" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 -u "$displayfd" display || { echo "app_startup: Xvfb did not start" >&2; exit 1; }
exec {displayfd}>&-
export DISPLAY=:$display
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
if command -v dbus-daemon >/dev/null; then
  dbus-daemon --session --fork --print-address=1 --print-pid=1 >"$work/bus"
  DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p "$work/bus")
  export DBUS_SESSION_BUS_ADDRESS
  pids+=("$(sed -n 2p "$work/bus")")
else
  unset DBUS_SESSION_BUS_ADDRESS
fi

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

# measure NAME COMMAND...: sets NAME_start, NAME_rss (kB) and NAME_cpu (ms).
measure() {
  local name=$1
  shift
  "$probe" -- "$@" >/dev/null  # warm the page cache
  local starts=() startCpu=() rss=() cpu=() line
  for ((i = 0; i < runs; i++)); do
    line=$("$probe" -- "$@")
    starts+=("$(field start_ms <<<"$line")")
    startCpu+=("$(field start_cpu_ms <<<"$line")")
  done
  for ((i = 0; i < idle_runs; i++)); do
    line=$("$probe" --idle -- "$@")
    rss+=("$(field rss_kb <<<"$line")")
    cpu+=("$(field cpu_ms <<<"$line")")
  done
  local start startWork memory idle
  start=$(printf '%s\n' "${starts[@]}" | median)
  startWork=$(printf '%s\n' "${startCpu[@]}" | median)
  memory=$(printf '%s\n' "${rss[@]}" | median)
  idle=$(printf '%s\n' "${cpu[@]}" | median)
  printf -v "${name}_start" '%s' "$start"
  printf -v "${name}_rss" '%s' "$memory"
  printf -v "${name}_cpu" '%s' "$idle"
  printf -v "${name}_work" '%s' "$startWork"
  printf '%-8s start %6.1f ms (median of %d: %s), CPU until then %.1f ms\n' "$name" "$start" "$runs" "${starts[*]}" "$startWork"
  printf '         RSS %5.1f MB, CPU %5.1f ms in 10 s idle (medians of %d)\n' \
    "$(awk -v kb="$memory" 'BEGIN { print kb / 1024 }')" "$idle" "$idle_runs"
}

echo "==== app start-up under Xvfb $DISPLAY ===="
measure floor "$floor"
measure tandemo "$app" --simulate --state "$work/state.json"

awk -v fs="$floor_start" -v ts="$tandemo_start" -v fr="$floor_rss" -v tr="$tandemo_rss" \
    -v fc="$floor_cpu" -v tc="$tandemo_cpu" -v fw="$floor_work" -v tw="$tandemo_work" 'BEGIN {
  printf "tandemo / floor: start %.2fx (target <= 1.3x; CPU until mapped %.2fx), memory %.2fx (target <= 1.3x),\n", ts / fs, (fw > 0 ? tw / fw : 0), tr / fr
  printf "                 idle CPU %+.1f ms in 10 s (target <= +0 ms)\n", tc - fc
}'
echo "(wall-clock start-up times swing with the machine's load: compare the two programs within one run)"
