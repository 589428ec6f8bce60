#!/usr/bin/env bash
# Start-up side by side: how long until each program's window is mapped on one X server, and
# its resident memory (RSS and PSS) three seconds later. Brindle opens the demo; the peers open
# a small four-channel module made here. Three rounds each; prints min and median.
#   bench/scripts/startup_peers.sh [BUILD_DIR]
# Installs xdotool and the peers (Debian: schism, milkytracker) when missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
need=()
for p in xdotool schism milkytracker xvfb; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || need+=("$p"); done
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

measure() { # label, window-name pattern, command...
  local label=$1 name=$2; shift 2
  local times=() rss=() pss=()
  for round in 1 2 3; do
    local t0; t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 &
    local pid=$!
    local found=""
    for _ in $(seq 1 3000); do
      # Toolkits that leave out the window's process id are found by their title.
      if xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1 ||
         xdotool search --onlyvisible --name "$name" >/dev/null 2>&1; then found=1; break; fi
      sleep 0.002
    done
    local t1; t1=$(date +%s%N)
    sleep 3
    local r p
    r=$(awk '/^Rss:/{print $2}' /proc/$pid/smaps_rollup 2>/dev/null || echo 0)
    p=$(awk '/^Pss:/{print $2}' /proc/$pid/smaps_rollup 2>/dev/null || echo 0)
    # Some programs ask before quitting: a moment, then for good.
    kill "$pid" 2>/dev/null || true; sleep 0.5; kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -n "$found" ] || { echo "$label: no window"; return; }
    times+=($(( (t1 - t0) / 1000000 ))); rss+=($((r / 1024))); pss+=($((p / 1024)))
  done
  local st sr sp
  st=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
  sr=$(printf '%s\n' "${rss[@]}" | sort -n | tr '\n' ' ')
  sp=$(printf '%s\n' "${pss[@]}" | sort -n | tr '\n' ' ')
  printf '%-34s mapped ms (min median): %s  RSS MB: %s  PSS MB: %s\n' "$label" \
    "$(echo "$st" | awk '{print $1, $2}')" "$(echo "$sr" | awk '{print $2}')" "$(echo "$sp" | awk '{print $2}')"
}

measure "brindle examples/demo.hym" "Quillon Brindle" "$build/brindle" examples/demo.hym
[ -x "$build/make_stress_module" ] && "$build/make_stress_module" "$work/stress" >/dev/null 2>&1 &&
  measure "brindle (64-channel stress module)" "Quillon Brindle" "$build/brindle" "$(ls "$work"/stress/*.hym | head -1)"
measure "schism (4-channel module)" "[Ss]chism" schismtracker "$work/four.mod"
measure "milkytracker -nosplash (same module)" "[Mm]ilky" milkytracker -nosplash "$work/four.mod"
