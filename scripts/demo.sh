#!/usr/bin/env bash
# The main job: installs what is missing, builds the four programs it runs (no
# tests or benchmarks: the "release" preset), then starts logicsim and the helper
# on a private runtime directory and drives a session through the marquee tool,
# printing every step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release marquee-helper marquee marquee-osascript logicsim >/dev/null

bin=build/release
runtime=$(mktemp -d /tmp/marquee-demo.XXXXXX)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
run() { printf '$ %s\n' "$*"; "$@" || printf '(exit status %d)\n' "$?"; }

if [ -x "$bin/sim/logicsim" ]; then
  step "Start logicsim (Logic Pro and the desktop, simulated)"
  "$bin/sim/logicsim" serve >"$runtime/logicsim.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -S "$runtime/logicsim.sock" ] && break; sleep 0.05; done
fi

step "Start the helper"
"$bin/app/marquee-helper" 2>"$runtime/helper.log" &
helper=$!
pids+=($helper)
for _ in $(seq 100); do [ -S "$runtime/com.quillmoor.marquee.helper" ] && break; sleep 0.05; done

marquee=$bin/client/marquee
logicsim() { "$bin/sim/logicsim" ctl "$@" >/dev/null; }
show_playhead() {
  "$bin/sim/logicsim" ctl state | python3 -c 'import json,sys; t=json.load(sys.stdin)["transport"]; print("logicsim: playhead at %.3f s" % t["playheadSeconds"])'
}

pictures=${MARQUEE_DEMO_PICTURES:-build/demo}
mkdir -p "$pictures"
step "A picture of Logic before the session: $pictures/logic-before.png"
"$bin/sim/logicsim" ctl state >"$runtime/state-before.json"
run "$bin/sim/logicsim" ctl snapshot "$pictures/logic-before.png"

step "Housekeeping"
run "$marquee" permissions
run "$marquee" project-url
run "$marquee" control-bar --fps 25

step "Timecode arithmetic (no helper needed)"
run "$marquee" timecode --seconds 60 --fps 29.97 --drop-frame
run "$marquee" timecode --parse 01:00:00:12 --fps 25

step "Read the project start and the playhead through Logic's Go to Position dialog"
run "$marquee" project-start --fps 25
run "$marquee" playhead --fps 25

step "Move the playhead to 01:01:01:13 and read it back"
run "$marquee" goto 3661.52 --fps 25
show_playhead
run "$marquee" playhead --fps 25 --json

step "Follow the transport through a scrub file while Logic plays"
logicsim set-transport '{"playing": true}'
run "$marquee" scrub --shm "$runtime/scrub.shm" --fps 25 --duration 1
logicsim set-transport '{"playing": false}'

step "Stored actions by code: 5 stops the transport; 4 is not on the allow-list"
run "$marquee" action 5
run "$marquee" action 4

step "Markers over three clips, coloured, as a plug-in makes them (the batch ends with colors-close)"
cat >"$runtime/clips.csv" <<'CSV'
start,duration,name,color
3601.2,2.4,Intro,0
3605.0,0.36,"Scene ""2"" \ take",27
3620.04,10.0,End,95
CSV
run "$marquee" colors-avoid 300 600 400 100
run "$marquee" markers "$runtime/clips.csv" --fps 25
"$bin/sim/logicsim" ctl state '{"only": ["logic"]}' | python3 -c '
import json, sys
logic = json.load(sys.stdin)["logic"]
for m in logic["markers"]:
    print("logicsim: marker %-20s %s - %s  colour %s" % (json.dumps(m["name"]), m["startLabel"], m["endLabel"], m["color"]))
print("logicsim: marker track shown: %s, Colors window open: %s" % (logic["markerTrackShown"], logic["colorsWindowOpen"]))'

step "Place a two-second WAV at 01:00:05:05 on a new track, region and track coloured"
python3 - "$runtime/Line 12.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(48000)
    w.writeframes(b"".join(struct.pack("<h", int(3000 * math.sin(2 * math.pi * 440 * i / 48000))) for i in range(96000)))
PY
run "$marquee" place "$runtime/Line 12.wav" 3605.2 --fps 25 --name "Line 12" --new-track Dialogue --color 12 --color-track
run "$marquee" colors-close
"$bin/sim/logicsim" ctl state '{"only": ["logic"]}' | python3 -c '
import json, sys
logic = json.load(sys.stdin)["logic"]
for t in logic["tracks"]:
    print("logicsim: track %-12s colour %s" % (json.dumps(t["name"]), t["color"]))
for r in logic["regions"]:
    print("logicsim: region %-10s on track %d at %s, %.3f s at %d Hz, colour %s, file %s" % (json.dumps(r["name"]), r["track"], r["startLabel"], r["length"], r["sampleRate"], r["color"], r["file"]))'

step "A picture of Logic after the markers and the placement, the changes marked: $pictures/logic-after.png"
run "$bin/sim/logicsim" ctl snapshot "$pictures/logic-after.png" --diff "$runtime/state-before.json"

step "Bounce with a movie: the five steps; logicsim's user names the file and presses Export"
# A two-second movie at 25 fps (an uncompressed YUV4MPEG2 stream, which Logic's
# stand-in reads with libavformat like any movie).
python3 - "$runtime/Cut 3.mov" <<'PY'
import sys
with open(sys.argv[1], "wb") as movie:
    movie.write(b"YUV4MPEG2 W16 H16 F25:1 Ip A1:1 C420jpeg\n")
    for frame in range(50):
        movie.write(b"FRAME\n" + bytes([16 + frame]) * 384)
PY
logicsim set-export "{\"directory\": \"$runtime\", \"user\": {\"afterMs\": 1500, \"name\": \"Demo Bounce\", \"press\": \"export\"}}"
run "$marquee" bounce run "$runtime/Cut 3.mov" 01:00:02:00 --fps 25
"$bin/sim/logicsim" ctl state '{"only": ["movie", "export"]}' | python3 -c '
import json, sys
s = json.load(sys.stdin)
m, r = s["movie"], s["movie"]["region"]
print("logicsim: movie %s (%.3f s at %g fps), region at %.3f s, aligned %s" % (m["loaded"]["name"], m["loaded"]["durationSeconds"], m["loaded"]["frameRate"], r["startSeconds"], m["aligned"]))
for e in s["export"]["results"]: print("logicsim: exported %s (%.3f s)" % (e["file"], e["seconds"]))'
run ls -l "$runtime/Demo Bounce.wav"

step "Logic quits: requests fail with their error replies"
logicsim quit '{"app": "logic"}'
run "$marquee" playhead --fps 25
run "$marquee" project-url

step "Relaunch: the helper replies, then exits with status 0"
run "$marquee" relaunch
status=0; wait "$helper" || status=$?
echo "helper exit status: $status"

step "What the helper logged"
cat "$runtime/helper.log"
