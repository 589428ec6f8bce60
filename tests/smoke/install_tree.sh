#!/usr/bin/env bash
# Installs into a temporary prefix and runs the programs from there, far from the build folder:
# the decoder plugin must be found relative to the program.
set -euo pipefail
build=$1 source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/brindle bin/brindle-cli lib/brindle/libbrindle_ffmpeg.so lib/brindle/libbrindle_midi.so share/applications/brindle.desktop \
    share/icons/hicolor/scalable/apps/brindle.svg share/mime/packages/brindle.xml; do
    [ -e "$prefix/$f" ] || { echo "missing $f"; exit 1; }
done
"$prefix/bin/brindle" --version | grep -q "1.05.001"
"$prefix/bin/brindle" --help | grep -q "usage: brindle"
# A song whose only sound is AAC, which only the FFmpeg plugin decodes.
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=0.5" -c:a aac "$prefix/tone.m4a"
cat >"$prefix/song.hym" <<HYM
<halyard.module BPM="120">
   <Order Index="0" PatternIndex="1"/>
   <Pattern Index="0" RowCount="4"><Step x="0" y="0" ins="1" pitch="0"/></Pattern>
   <Instrument Index="0" FileName="tone.m4a" Name="tone" Pitch="0" Stretch="1" Volume="1" StopPrev="false"/>
</halyard.module>
HYM
cd /
out=$("$prefix/bin/brindle-cli" render "$prefix/song.hym" "$prefix/out.wav" 2>&1)
if echo "$out" | grep -qi "tone.m4a"; then echo "the plugin was not found: $out"; exit 1; fi
peak=$(sox "$prefix/out.wav" -n stat 2>&1 | awk '/Maximum amplitude/ {print $3}')
awk -v p="$peak" 'BEGIN { exit !(p > 0.1) }' || { echo "the AAC note is silent (peak $peak)"; exit 1; }
echo "install tree test passed"
