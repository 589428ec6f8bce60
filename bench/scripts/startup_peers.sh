#!/usr/bin/env bash
# Start-up side by side: how long until each program's window is mapped on one X server, and
# its resident memory (RSS and PSS) three seconds later. Brindle opens the demo; the peers open
# a small four-channel module made here. Five rounds each; prints min and median. The first row
# is the toolkit's floor: a Qt Widgets program with one painted widget and nothing else.
#   bench/scripts/startup_peers.sh [BUILD_DIR]
# Installs xev and the peers (Debian: x11-utils, schism, milkytracker) when missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
need=()
for p in x11-utils schism milkytracker xvfb; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || need+=("$p"); done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A four-channel ProTracker module: one sample of a square wave, notes on every fourth row.
python3 - "$work/four.mod" <<'PY'
import struct, sys
name = b"startup".ljust(20, b"\0")
sample = bytes([0x40 if (i // 16) % 2 else 0xC0 for i in range(2048)])
samples = struct.pack(">22sHbBHH", b"square".ljust(22, b"\0"), len(sample) // 2, 0, 64, 0, 1)
samples += b"".join(struct.pack(">22sHbBHH", b"\0" * 22, 0, 0, 0, 0, 1) for _ in range(30))
order = bytes([0, 0]) + bytes(126)
rows = bytearray()
for r in range(64):
    for c in range(4):
        rows += struct.pack(">BBBB", 0x10 | 0x01, 0xAC, 0x00, 0x00) if r % 4 == c else bytes(4)
with open(sys.argv[1], "wb") as f:
    f.write(name + samples + bytes([2, 127]) + order + b"M.K." + bytes(rows) + sample)
PY
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" BRINDLE_AUDIO=null SDL_AUDIODRIVER=dummy
Xvfb :77 -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=:77
sleep 1

# One X client watches the root window and notes when each top-level window is mapped, so
# nothing polls the server while a program starts (a poller spawned every few milliseconds
# takes a core's share from the program it times, on a two-core machine most of one).
maps="$work/maps"
: >"$maps"
stdbuf -oL xev -root -event substructure 2>/dev/null | {
  after_map=""
  while IFS= read -r line; do
    case $line in
      MapNotify*) after_map=1 ;;
      *"override NO"*) [ -n "$after_map" ] && echo "${EPOCHREALTIME/./}" >>"$maps"; after_map="" ;;
      *) after_map="" ;;
    esac
  done
} &
watcher=$!
trap 'kill $watcher $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 0.5

# The first window mapped after the given time (microseconds), or nothing.
first_map_after() {
  local ts
  while read -r ts; do [ "$ts" -gt "$1" ] && { echo "$ts"; return 0; }; done <"$maps"
  return 0
}

measure() { # label, command...
  local label=$1; shift
  local times=() rss=() pss=()
  for round in 1 2 3 4 5; do
    local t0=${EPOCHREALTIME/./}
    "$@" >/dev/null 2>&1 &
    local pid=$!
    local t1=""
    for _ in $(seq 1 300); do
      t1=$(first_map_after "$t0")
      [ -n "$t1" ] && break
      sleep 0.02
    done
    sleep 3
    local r p
    r=$(awk '/^Rss:/{print $2}' /proc/$pid/smaps_rollup 2>/dev/null || echo 0)
    p=$(awk '/^Pss:/{print $2}' /proc/$pid/smaps_rollup 2>/dev/null || echo 0)
    # Some programs ask before quitting: a moment, then for good.
    kill "$pid" 2>/dev/null || true; sleep 0.5; kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -n "$t1" ] || { echo "$label: no window"; return; }
    times+=($(( (t1 - t0) / 1000 ))); rss+=($((r / 1024))); pss+=($((p / 1024)))
  done
  local st sr sp
  st=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
  sr=$(printf '%s\n' "${rss[@]}" | sort -n | tr '\n' ' ')
  sp=$(printf '%s\n' "${pss[@]}" | sort -n | tr '\n' ' ')
  printf '%-38s mapped ms (min median): %s  RSS MB: %s  PSS MB: %s\n' "$label" \
    "$(echo "$st" | awk '{print $1, $3}')" "$(echo "$sr" | awk '{print $3}')" "$(echo "$sp" | awk '{print $3}')"
}

[ -x "$build/qt_floor" ] && measure "Qt Widgets floor (one widget)" "$build/qt_floor"
measure "brindle examples/demo.hym" "$build/brindle" examples/demo.hym
[ -x "$build/make_stress_module" ] && "$build/make_stress_module" "$work/stress" >/dev/null 2>&1 &&
  measure "brindle (64-channel stress module)" "$build/brindle" "$(ls "$work"/stress/*.hym | head -1)"
measure "schism (4-channel module)" schismtracker "$work/four.mod"
measure "milkytracker -nosplash (same module)" milkytracker -nosplash "$work/four.mod"
