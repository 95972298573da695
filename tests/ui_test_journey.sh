#!/usr/bin/env bash
# One journey through the desktop program with real key presses, on a virtual
# X server: read a song (Ctrl+O), cancel the conversion dialog (Esc), cancel
# the information dialog (Esc), convert with the proposed information (Enter)
# after typing a title, try to quit (Ctrl+Q: the question about the unwritten
# song, cancelled with Esc), write the result (Ctrl+S), convert a whole folder
# (File > Convert a Folder) and quit (Ctrl+Q). The files written are checked.
#
#   tests/ui_test_journey.sh VERSELANE-BINARY
# Exit status 77 (skipped) when Xvfb, xdotool or the corpus is missing.
set -euo pipefail
program="$1"
corpus="${VERSELANE_CORPUS:-$(dirname "$0")/../../shared/corpus}"

source "$(dirname "$0")/journey_helpers.sh"
need_x_tools
[ -f "$corpus/lyrics/twinkle_mma.mid" ] || skip "the test corpus is not here (set VERSELANE_CORPUS)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out" "$work/config"
cp "$corpus/lyrics/twinkle_mma.mid" "$work/song.mid"
cp "$corpus/lyrics/twinkle_mma.mid" "$corpus/kar/twinkle_dmp.kar" "$work/in/"

here="$(cd "$(dirname "$0")" && pwd)"
cat >"$work/journey" <<'JOURNEY'
set -euo pipefail
work="$1"
program="$2"
here="$3"
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb "$program" &
pid=$!
KEY_DELAY=60
source "$here/journey_helpers.sh"

window "Midi Verselane v"
open_with "Read File" ctrl+o
keys ctrl+a; text "$work/song.mid"; keys Return
window "Midi Verselane v"
open_with "Convert Lyrics" alt+c; keys Escape  # the conversion dialog cancelled
window "Midi Verselane v"
open_with "Convert Lyrics" alt+c; keys alt+l
window "Karaoke Information"; keys Escape      # the information dialog cancels it all
window "Midi Verselane v"
open_with "Convert Lyrics" alt+c; keys Return  # Enter: the direction this track allows
window "Karaoke Information"
keys Tab ctrl+a; text "Journey Song"; keys Return
window "Midi Verselane v"
open_with "^Midi Verselane$" ctrl+q            # unsaved: the question, cancelled
keys Escape
sleep 0.5
xdotool search --onlyvisible --name "Midi Verselane v" >/dev/null || { echo "journey: Ctrl+Q threw the converted song away" >&2; exit 1; }
window "Midi Verselane v"
open_with "Write File" ctrl+s
keys ctrl+a; text "$work/out/journey.kar"; keys Return
window "Midi Verselane v"
open_with "Convert a Folder" alt+f f           # File > Convert a Folder
keys ctrl+a; text "$work/in"; keys Return
sleep 0.5
if xdotool search --onlyvisible --name "Convert a Folder" >/dev/null 2>&1; then keys Return; fi
window "Convert Songs"; keys Return            # Enter starts
sleep 2
for _ in 1 2 3 4 5 6 7 8 9 10; do               # Esc closes once done
  keys Escape
  xdotool search --onlyvisible --name "Convert Songs" >/dev/null 2>&1 || break
  sleep 0.5
done
window "Midi Verselane v"
keys ctrl+q
wait "$pid"
JOURNEY

timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/journey" "$work" "$program" "$here"

fail() { echo "journey: $1" >&2; exit 1; }
[ -f "$work/out/journey.kar" ] || fail "Ctrl+S wrote no out/journey.kar"
grep -aq "@TJourney Song" "$work/out/journey.kar" || fail "the typed title is not in the file"
grep -aq "@KMIDI KARAOKE FILE" "$work/out/journey.kar" || fail "no karaoke header in the file"
[ -f "$work/in/twinkle_mma.kar" ] || fail "the folder conversion wrote no twinkle_mma.kar"
# twinkle_dmp.kar holds no lyrics, and its output would be itself: kept as it was.
cmp -s "$corpus/kar/twinkle_dmp.kar" "$work/in/twinkle_dmp.kar" || fail "an input was changed"
grep -q "song.mid" "$work/config/verselane/verselane.conf" || fail "the song is not a recent file"
echo "journey: read, two cancels, convert, write, folder conversion and quit all done"
