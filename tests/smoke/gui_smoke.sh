#!/usr/bin/env bash
# The real program under a virtual X server: opens the demo, saves it with the "save" switch,
# exports it with "savetowav", and closes cleanly on SIGTERM. The export must equal the CLI's render.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export BRINDLE_AUDIO=null XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
xvfb-run -a -s "-screen 0 1280x800x24" "$build/brindle" "$source/examples/demo.hym" \
    save "$work/saved.hym" savetowav "$work/export.wav" >"$work/log" 2>&1 &
runner=$!
for _ in $(seq 1 600); do
    [ -s "$work/export.wav" ] && break
    sleep 0.1
done
sleep 0.5
# xvfb-run's child is the program: end it as a session end would.
pkill -TERM -x -P "$runner" brindle || true
status=0
wait "$runner" || status=$?
cat "$work/log"
[ "$status" -eq 0 ] || { echo "brindle exited with $status"; exit 1; }
[ -s "$work/saved.hym" ] || { echo "the save switch wrote nothing"; exit 1; }
"$build/brindle-cli" info "$work/saved.hym" >/dev/null
"$build/brindle-cli" render "$source/examples/demo.hym" "$work/cli.wav" >/dev/null
cmp "$work/export.wav" "$work/cli.wav" || { echo "the GUI's export differs from brindle-cli render"; exit 1; }
[ ! -e "$work/data/Brindle/recovery.hym" ] || { echo "a clean close left a recovery file"; exit 1; }
echo "GUI smoke test passed"
