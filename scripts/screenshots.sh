#!/usr/bin/env bash
# Takes the README's screenshots of the pad, in Japanese and in English, under a private Xvfb with
# openbox and writes them to build/screenshots/ (or DIR/screenshots for a build directory DIR
# given as argument).
# Needs a built tree (./run or ./test first; with ./test's build, the tests' recording window
# is the target the panel names) and ImageMagick's import.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build=${1:-$sumiro_build}
sumiro="$build/entry/sumiro"
out="$build/screenshots"
[ -x "$sumiro" ] || { echo "error: $sumiro is not built" >&2; exit 1; }
command -v import >/dev/null || { echo "error: import (ImageMagick) is missing" >&2; exit 1; }
mkdir -p "$out"

scratch=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# until SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds; fails after SECONDS.
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || { echo "error: timed out waiting for: $*" >&2; return 1; }
    sleep 0.05
  done
}

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$scratch/display" \
  2>"$scratch/xvfb.log" &
pids+=($!)
until_true 10 test -s "$scratch/display"
export DISPLAY=":$(cat "$scratch/display")"
unset WAYLAND_DISPLAY

openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
pids+=($!)
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
until_true 10 wm_ready
export LANG=C.UTF-8

# grab FILE: the panel's window, or its place on the screen while a menu is open (grab_area);
# without metadata, so that equal pictures are equal files.
grab_area=""
grab() {
  if [ -n "$grab_area" ]; then
    import -window root -crop "$grab_area" +repage -strip -define png:exclude-chunks=date,time "$1"
  else
    import -window "$panel" -strip -define png:exclude-chunks=date,time "$1"
  fi 2>/dev/null
}
# The picture has settled when two grabs 200 ms apart are equal.
settled() {
  grab "$scratch/a.png"
  sleep 0.2
  grab "$scratch/b.png"
  cmp -s "$scratch/a.png" "$scratch/b.png"
}
shoot() {
  until_true 20 settled
  cp "$scratch/b.png" "$out/$1.png"
  echo "$out/$1.png"
}
# click X Y [BUTTON]: a click at panel coordinates.
click() { xdotool mousemove --window "$panel" "$1" "$2" click "${3:-1}"; }
# stroke X1 Y1 X2 Y2 ...: one stroke through the points, in canvas coordinates (0 to 266).
canvas_x=14 canvas_y=106
stroke() {
  xdotool mousemove --window "$panel" $((canvas_x + $1)) $((canvas_y + $2)) mousedown 1
  shift 2
  while [ $# -ge 2 ]; do
    xdotool mousemove --window "$panel" $((canvas_x + $1)) $((canvas_y + $2))
    shift 2
  done
  xdotool mouseup 1
}
# The mode segments' centres on the panel's second row, left to right, and the "認識" button's
# centre, in the language being shot (set_language).
segment_y=55
set_language() {
  case $1 in
    ja) segment_x=(54 134 214 294 394) recognize=(217 392) ;;
    en) segment_x=(62 163 266 356 450) recognize=(187 378) ;;
  esac
}
mode() {
  local index
  case $1 in
    handwriting) index=0 ;;
    ranges) index=1 ;;
    counts) index=2 ;;
    radicals) index=3 ;;
    keyboard) index=4 ;;
  esac
  click "${segment_x[$index]}" "$segment_y"
}

# A target to type into, when the tests' recording window is built: the panel then names it.
target_app="$build/testsupport/sumiro_input_target"
if [ -x "$target_app" ]; then
  "$target_app" "$scratch/typed.log" >/dev/null 2>&1 &
  target_pid=$!
  pids+=("$target_pid")
  target_window() { xdotool search --all --onlyvisible --pid "$target_pid" 2>/dev/null | head -n 1; }
  has_target() { [ -n "$(target_window)" ]; }
  until_true 20 has_target
  target=$(target_window)
  xdotool windowsize "$target" 400 300 windowmove "$target" 860 80
  xdotool windowactivate --sync "$target"
fi

# shoot_pad LANGUAGE SUFFIX: the pad speaking LANGUAGE (ja, en), started afresh (no saved panel
# place, no autostart entry of the user's touched), in pictures named with SUFFIX.
shoot_pad() {
  local language=$1 suffix=$2
  set_language "$language"
  export XDG_CONFIG_HOME="$scratch/config-$language" XDG_CACHE_HOME="$scratch/cache-$language"
  grab_area=""
  "$sumiro" --language "$language" >"$scratch/sumiro-$language.log" 2>&1 &
  sumiro_pid=$!
  pids+=("$sumiro_pid")
  panel_window() { xdotool search --all --onlyvisible --pid "$sumiro_pid" 2>/dev/null | head -n 1; }
  has_panel() { [ -n "$(panel_window)" ]; }
  until_true 20 has_panel
  panel=$(panel_window)

  # Handwriting: 木, then the pointer resting on the first candidate shows its details.
  mode handwriting
  stroke 40 90 226 90
  stroke 133 30 133 240
  stroke 130 92 110 130 85 165 40 210
  stroke 136 92 160 130 185 165 230 205
  # Drawn while the data were still loading, the ink waits for "認識"; the candidates are there
  # once the first cell of the grid is no longer blank.
  candidates_shown() {
    # Through a file: with pipefail, grep -q leaving early would fail the pipe through SIGPIPE.
    import -window "$panel" -crop 40x40+296+108 +repage "txt:$scratch/cell.txt" 2>/dev/null &&
      grep -v '^#' "$scratch/cell.txt" | grep -v '#FFFFFF' >/dev/null
  }
  recognized() { candidates_shown || { click "${recognize[@]}"; sleep 0.3; candidates_shown; }; }
  until_true 30 recognized
  until_true 20 settled
  xdotool mousemove --window "$panel" 318 130
  shoot "handwriting$suffix"

  # Browsing by radical.
  mode radicals
  shoot "browse$suffix"

  # The soft keyboard.
  mode keyboard
  shoot "keyboard$suffix"

  # The menu, opened on the panel's first row as on a desktop without a tray.
  mode handwriting
  geometry() { xwininfo -id "$panel" | awk -v key="$1" -F': *' '$1 ~ key { print $2 }'; }
  grab_area="$(geometry Width)x$(geometry Height)+$(geometry 'Absolute upper-left X')+$(geometry 'Absolute upper-left Y')"
  click 60 22 3
  shoot "menu$suffix"
  xdotool key Escape

  kill "$sumiro_pid"
  wait "$sumiro_pid" 2>/dev/null || true
}

# The Japanese pictures, then the English ones ("-en").
shoot_pad ja ""
shoot_pad en "-en"
