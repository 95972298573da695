# What both window journeys share: the check for the tools they need,
# sourced by each script first, and the xdotool steps, sourced again by the
# journey run inside the virtual X server. KEY_DELAY: milliseconds between
# key presses.

# Skips the journey (exit 77), or fails it under CI=true, where something it
# needs is missing.
skip() {
  echo "skipped: $1" >&2
  if [ "${CI:-}" = "true" ]; then exit 1; fi
  exit 77
}
need_x_tools() {
  command -v xvfb-run >/dev/null || skip "xvfb-run is not installed (scripts/install-deps)"
  command -v xdotool >/dev/null || skip "xdotool is not installed (scripts/install-deps)"
}

# Waits for a window whose title matches, gives it the keyboard.
window() {
  local id
  id="$(xdotool search --sync --onlyvisible --name "$1" | tail -1)"
  xdotool windowfocus --sync "$id" 2>/dev/null || true
  sleep 0.4
}
keys() { xdotool key --delay "${KEY_DELAY:-80}" "$@"; sleep 0.5; }
text() { xdotool type --delay 20 "$1"; sleep 0.2; }
# Presses keys until a window whose title matches shows (a busy window may
# miss the first press), then gives it the keyboard.
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
