#!/usr/bin/env bash
# The timing editor with real key presses on a virtual X server: read a .kar
# song whose timing was never aligned here (Ctrl+O), go into the editor
# (F8), move the third syllable to the next note (Alt+Right), nudge the
# fourth a sixteenth later (Ctrl+Right), change the fifth's text (F2) and
# undo that (Ctrl+Z), write the song (Ctrl+S) and quit. The file written is
# checked by mido: exactly the third and fourth syllables moved, later, the
# fourth by a sixteenth, and every text is as it was.
#
#   tests/ui_test_editor_journey.sh VERSELANE-BINARY
# Exit status 77 (skipped) when Xvfb, xdotool, mido or the corpus is missing.
set -euo pipefail
program="$1"
corpus="${VERSELANE_CORPUS:-$(dirname "$0")/../../shared/corpus}"

skip() {
  echo "skipped: $1" >&2
  if [ "${CI:-}" = "true" ]; then exit 1; fi
  exit 77
}
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed (scripts/install-deps)"
command -v xdotool >/dev/null || skip "xdotool is not installed (scripts/install-deps)"
/usr/bin/python3 -c "import mido" 2>/dev/null || skip "python3-mido is not installed (scripts/install-deps)"
[ -f "$corpus/kar/twinkle_dmp.kar" ] || skip "the test corpus is not here (set VERSELANE_CORPUS)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/config"
cp "$corpus/kar/twinkle_dmp.kar" "$work/song.kar"

cat >"$work/journey" <<'JOURNEY'
set -euo pipefail
work="$1"
program="$2"
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb "$program" &
pid=$!
window() {
  local id
  id="$(xdotool search --sync --onlyvisible --name "$1" | tail -1)"
  xdotool windowfocus --sync "$id" 2>/dev/null || true
  sleep 0.4
}
keys() { xdotool key --delay 80 "$@"; sleep 0.5; }
text() { xdotool type --delay 20 "$1"; sleep 0.2; }
open_with() {
  local title="$1"; shift
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    keys "$@"
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      if xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; then window "$title"; return; fi
      sleep 0.3
    done
    window "Midi Verselane v"
  done
  echo "journey: $title never showed" >&2; return 1
}

window "Midi Verselane v"
open_with "Read File" ctrl+o
keys ctrl+a; text "$work/song.kar"; keys Return
window "Midi Verselane v"
sleep 1
keys F8 Home Right Right alt+Right   # the third syllable to the next note
keys Right ctrl+Right                # the fourth a sixteenth later
open_with "Edit the Syllable" Right F2
keys ctrl+a; text "Changed"; keys Return
window "Midi Verselane v"
keys ctrl+z                          # the text edit undone
open_with "Write File" ctrl+s
keys ctrl+a; text "$work/out/edited.kar"; keys Return
window "Midi Verselane v"
keys ctrl+q
wait "$pid"
JOURNEY

timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/journey" "$work" "$program"

[ -f "$work/out/edited.kar" ] || { echo "journey: Ctrl+S wrote no out/edited.kar" >&2; exit 1; }
/usr/bin/python3 - "$work/song.kar" "$work/out/edited.kar" <<'CHECK'
import sys
import mido

def syllables(path):
    song = mido.MidiFile(path)
    found = []
    for track in song.tracks:
        tick = 0
        for message in track:
            tick += message.time
            if message.type == "text" and not message.text.startswith("@"):
                found.append((tick, message.text))
    return song.ticks_per_beat, found

division, before = syllables(sys.argv[1])
_, after = syllables(sys.argv[2])
assert [t for _, t in before] == [t for _, t in after], "the texts changed (the undone edit stayed?)"
moved = [i for i, (a, b) in enumerate(zip(before, after)) if a[0] != b[0]]
assert moved == [2, 3], f"moved syllables {moved}, expected [2, 3]"
assert after[2][0] > before[2][0], "the third syllable did not move later"
assert after[3][0] == before[3][0] + division // 4, "the fourth was not nudged by a sixteenth"
print("journey: key move, nudge, text edit undone, written and checked by mido")
CHECK
