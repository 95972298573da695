#!/usr/bin/env bash
# The timing editor with real key presses and a real mouse drag on a
# virtual X server: read a .kar song whose timing was never aligned here
# (Ctrl+O), go into the editor (F8), move the third syllable to the next note
# (Alt+Right), nudge the fourth a sixteenth later (Ctrl+Right), change the
# fifth's text (F2) and undo that (Ctrl+Z); choose the second line's first
# syllable by keys and drag it with the mouse a beat later (its line
# re-aligns); switch to half speed by the menu's access keys (Alt+P, A),
# choose the fourth line's first syllable, play (Space, the silent "null"
# audio sink) and tap it (T) when the line's second syllable is due; write
# the song (Ctrl+S) and quit; on the way, 30 ms typed into Tap Latency
# (Alt+P, L). The file written is checked by mido: the third
# and fourth syllables moved later, the fourth by a sixteenth; the dragged
# and the tapped syllable moved later onto a note start; no syllable outside
# those and their lines moved; every text is as it was; the half speed is
# remembered in the settings.
#
#   tests/ui_test_editor_journey.sh VERSELANE-BINARY
# Exit status 77 (skipped) when Xvfb, xdotool, mido or the corpus is missing.
set -euo pipefail
program="$1"
corpus="${VERSELANE_CORPUS:-$(dirname "$0")/../../shared/corpus}"

source "$(dirname "$0")/journey_helpers.sh"
need_x_tools
/usr/bin/python3 -c "import mido" 2>/dev/null || skip "python3-mido is not installed (scripts/install-deps)"
[ -f "$corpus/kar/twinkle_dmp.kar" ] || skip "the test corpus is not here (set VERSELANE_CORPUS)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/config"
cp "$corpus/kar/twinkle_dmp.kar" "$work/song.kar"
here="$(cd "$(dirname "$0")" && pwd)"

# The syllables the journey chooses: the first of the second and the fourth
# line, and when (in the song's seconds) the fourth line's second is due.
read -r drag_index tap_index tap_seconds < <(/usr/bin/python3 - "$work/song.kar" <<'PLAN'
import sys
import mido
texts, seconds, now = [], [], 0.0
for message in mido.MidiFile(sys.argv[1]):
    now += message.time
    if message.type == "text" and not message.text.startswith("@"):
        texts.append(message.text)
        seconds.append(now)
starts = [i for i, t in enumerate(texts) if i == 0 or t[:1] in "/\\"]
print(starts[1], starts[3], seconds[starts[3] + 1])
PLAN
)

cat >"$work/journey" <<'JOURNEY'
set -euo pipefail
work="$1"
program="$2"
here="$3"; drag_index="$4"; tap_index="$5"; tap_seconds="$6"
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb VERSELANE_AUDIO_DRIVER=null "$program" &
pid=$!
source "$here/journey_helpers.sh"

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
# The second line's first syllable, chosen by keys, dragged a beat later
# (48 pixels: a quarter note at the editor's first zoom).
keys Home; for _ in $(seq "$drag_index"); do keys Right; done
read -r x y < <(/usr/bin/python3 "$here/journey_screen.py")
xdotool mousemove --sync "$x" "$y" mousedown 1; sleep 0.2
xdotool mousemove --sync $((x + 24)) "$y"; sleep 0.2
xdotool mousemove --sync $((x + 48)) "$y" mouseup 1; sleep 0.5
# Half speed by the menu's access keys; the fourth line's first syllable
# tapped while playing, when the line's second syllable is heard.
keys alt+p; keys a                   # Playback > Half Speed
open_with "Tap Latency" alt+p l      # 30 ms typed, Enter
keys ctrl+a; text "30"; keys Return
window "Midi Verselane v"
keys Home; for _ in $(seq "$tap_index"); do keys Right; done
xdotool key space
sleep "$(/usr/bin/python3 -c "print($tap_seconds / 0.5)")"
xdotool key t; sleep 0.3
xdotool key space; sleep 0.5
open_with "Write File" ctrl+s
keys ctrl+a; text "$work/out/edited.kar"; keys Return
window "Midi Verselane v"
keys ctrl+q
wait "$pid"
JOURNEY

timeout 150 xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/journey" "$work" "$program" \
  "$here" "$drag_index" "$tap_index" "$tap_seconds"

[ -f "$work/out/edited.kar" ] || { echo "journey: Ctrl+S wrote no out/edited.kar" >&2; exit 1; }
grep -q "^speed=0.5" "$work/config/verselane/verselane.conf" ||
  { echo "journey: the half speed was not remembered" >&2; exit 1; }
grep -q "^tapLatency=0.03" "$work/config/verselane/verselane.conf" ||
  { echo "journey: the tap latency typed was not kept" >&2; exit 1; }
/usr/bin/python3 - "$work/song.kar" "$work/out/edited.kar" "$drag_index" "$tap_index" <<'CHECK'
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

def note_starts(path):
    starts = set()
    for track in mido.MidiFile(path).tracks:
        tick = 0
        for message in track:
            tick += message.time
            if message.type == "note_on" and message.velocity > 0:
                starts.add(tick)
    return starts

division, before = syllables(sys.argv[1])
_, after = syllables(sys.argv[2])
dragged, tapped = int(sys.argv[3]), int(sys.argv[4])
assert [t for _, t in before] == [t for _, t in after], "the texts changed (the undone edit stayed?)"
texts = [t for _, t in before]
def line(first):
    end = first + 1
    while end < len(texts) and texts[end][:1] not in "/\\":
        end += 1
    return set(range(first, end))
moved = {i for i, (a, b) in enumerate(zip(before, after)) if a[0] != b[0]}
assert {2, 3} <= moved, f"moved syllables {sorted(moved)}: not the third and fourth"
stray = moved - {2, 3} - line(dragged) - line(tapped)
assert not stray, f"syllables {sorted(stray)} moved, outside the edited lines"
assert after[2][0] > before[2][0], "the third syllable did not move later"
assert after[3][0] == before[3][0] + division // 4, "the fourth was not nudged by a sixteenth"
notes = note_starts(sys.argv[1])
for index, how in ((dragged, "dragged"), (tapped, "tapped")):
    assert after[index][0] > before[index][0], f"the {how} syllable {index} did not move later"
    assert after[index][0] in notes, f"the {how} syllable {index} is on no note start"
print("journey: key move, nudge, mouse drag, tap at half speed, text edit undone, written and "
      "checked by mido")
CHECK
