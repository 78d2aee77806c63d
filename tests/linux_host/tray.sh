#!/usr/bin/env bash
# The tray icon of the real program in an XEmbed tray (trayer) under the
# display, driven through WebKitWebDriver: the icon shows, the right button
# opens its menu (a screenshot of it is kept when a folder is given),
# "Sozlamalar" shows the main window at /settings, a left click opens the
# tray pop-up beside the icon, and a mode chosen in the menu shows its toast
# at the bottom right, and in the dark theme too (screenshots of the menu, the
# pop-up and the toasts are kept when a folder is given, with a compositing
# manager blending the see-through windows); with the keyboard hook running,
# the icon never takes the stopped-hook look.
#   tray.sh <WebKitWebDriver> <harvel> [screenshot folder]
set -euo pipefail
. "$(dirname "$0")/webdriver_lib.sh"
driver=$1
harvel=$2
shots=${3:-}
log=$(mktemp)
tray_log=$(mktemp)
driver_pid=
tray_pid=
compositor_pid=
session=
base=
cleanup() {
  stop_driver
  [ -n "$tray_pid" ] && { kill "$tray_pid" 2>/dev/null || true; wait "$tray_pid" 2>/dev/null || true; }
  [ -n "$compositor_pid" ] && { kill "$compositor_pid" 2>/dev/null || true; wait "$compositor_pid" 2>/dev/null || true; }
  rm -f "$log" "$tray_log"
}
trap cleanup EXIT
fail() {
  echo "tray: $1" >&2
  sed 's/^/  | /' "$log" >&2
  exit 1
}
wait_for() {  # pattern, what
  for _ in $(seq "$harvel_polls"); do
    grep -q "$1" "$log" && return 0
    sleep 0.05
  done
  fail "no $2 within $harvel_wait s"
}
# Waits until the count of a trace line passes `before`.
wait_for_more() {  # pattern, before, checks
  for _ in $(seq "$3"); do
    [ "$(grep -c "$1" "$log")" -gt "$2" ] && return 0
    sleep 0.05
  done
  return 1
}
# Clicks the icon where the tray last placed it until its answer is traced:
# the tray may still be laying out its icons when the first one lands. Each
# click waits 10 s for its answer.
click_icon() {  # button, trace pattern of the answer, what
  local before x y
  before=$(grep -c "$2" "$log" || true)
  for _ in $(seq $((harvel_wait / 10))); do
    read -r x y <<<"$(centre_of "tray geometry main")"
    xdotool mousemove "$x" "$y" click "$1"
    wait_for_more "$2" "$before" 200 && { ix=$x; iy=$y; return 0; }
  done
  fail "no $3 within $harvel_wait s"
}
# Chooses a menu item by its id, clicking it until the choice is traced.
choose_item() {  # id, what
  local x y
  read -r x y <<<"$(centre_of "tray menu item $1 ")"
  xdotool mousemove "$x" "$y"
  for _ in $(seq $((harvel_wait / 10))); do
    xdotool click 1
    wait_for_more "tray menu chosen $1" 0 200 && return 0
  done
  fail "no choice of $2 within $harvel_wait s"
}
# The last "x=.. y=.. w=.. h=.." of a trace line, as the centre "X Y".
centre_of() {
  grep "$1" "$log" | tail -n1 | sed -E 's/.* x=(-?[0-9]+) y=(-?[0-9]+) w=([0-9]+) h=([0-9]+).*/\1 \2 \3 \4/' |
    awk '{ printf "%d %d", $1 + $3 / 2, $2 + $4 / 2 }'
}

# Screenshots are taken with ImageMagick's import.
if [ -n "$shots" ] && ! command -v import >/dev/null 2>&1; then
  fail "the command import is missing (package imagemagick; scripts/setup installs it)"
fi
command -v xcompmgr >/dev/null 2>&1 || fail "the command xcompmgr is missing (package xcompmgr; scripts/setup installs it)"

# A compositing manager, as a desktop has: see-through windows are blended
# over what lies behind them (the pop-up's and the toast's frame).
xcompmgr >/dev/null 2>&1 &
compositor_pid=$!

# An XEmbed tray at the top right, as a desktop panel has.
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 32 \
  --SetDockType true --transparent false >"$tray_log" 2>&1 &
tray_pid=$!
for _ in $(seq "$harvel_polls"); do
  xdotool search --class trayer >/dev/null 2>&1 && break
  sleep 0.05
done

# Onboarded and started hidden: only the tray icon shows.
mkdir -p "$XDG_DATA_HOME/uz.harvel.desktop"
printf '{"onboarded": true}' >"$XDG_DATA_HOME/uz.harvel.desktop/settings.json"

HARVEL_HOST_TRACE=1 start_driver "$driver" "$log" || fail "WebKitWebDriver did not start"
start_session "$harvel" '["--automation", "--hidden"]' || fail "no session"
run() { post "/session/$session/execute/async" "$(jq -cn --arg js "$1" '{script: $js, args: []}')" | jq -c '.value'; }

wait_for "tray embedded main" "tray icon in the XEmbed tray"
wait_for "tray geometry main x=[0-9]* y=[0-9]* w=[1-9]" "icon position"
page_visibility() { run 'arguments[0](document.visibilityState)'; }
[ "$(page_visibility)" = '"hidden"' ] || fail "the main window shows on a hidden start: $(page_visibility)"
# The keyboard hook runs: the icon has its normal look, and the hook
# supervisor's first pass (5 s after the start) finds nothing to report.
wait_for "tray tooltip main Harvel · Hybrid · Ctrl+Shift+U bilan o‘chirish" "the tooltip of a running hook"
wait_for "keyboard hook: installed" "keyboard hook installed"

click_icon 3 "tray menu shown main" "menu after the right button"
grep -q "tray click main" "$log" && fail "the right button was taken for a left click"
if [ -n "$shots" ]; then
  mkdir -p "$shots"
  import -window root "$shots/tray-menu.png" || fail "no screenshot tray-menu.png"
fi
for id in head toggle mode:english mode:fast mode:hybrid mode:zero noapp checker go:/lab go:/settings quit; do
  grep -q "tray menu item $id " "$log" || fail "menu item $id missing"
done
choose_item go:/settings Sozlamalar
hash=""
for _ in $(seq "$harvel_polls"); do
  hash=$(run 'arguments[0](location.hash)')
  [ "$hash" = '"#/settings"' ] && break
  sleep 0.05
done
[ "$hash" = '"#/settings"' ] || fail "main window at $hash, expected #/settings"
for _ in $(seq "$harvel_polls"); do
  [ "$(page_visibility)" = '"visible"' ] && break
  sleep 0.05
done
[ "$(page_visibility)" = '"visible"' ] || fail "the main window is not shown: $(page_visibility)"

# A left click opens the tray pop-up and never the menu.
shown_menus=$(grep -c "tray menu shown main" "$log")
click_icon 1 "tray click main up" "left click on the icon"
wait_for "load-finished popup" "pop-up window"
# Visible 360-pixel-wide windows named Harvel: the pop-up (x y w h).
window_rects() {  # width
  (xdotool search --onlyvisible --name '^Harvel$' || true) | while read -r w; do
    xdotool getwindowgeometry --shell "$w" | tr '\n' ' ' | sed -E 's/.*X=(-?[0-9]+) Y=(-?[0-9]+) WIDTH=([0-9]+) HEIGHT=([0-9]+).*/\1 \2 \3 \4/'
    echo
  done | awk -v w="$1" '$3 == w'
}
popup=""
for _ in $(seq "$harvel_polls"); do
  popup=$(window_rects 360 | head -n1)
  [ -n "$popup" ] && break
  sleep 0.05
done
[ -n "$popup" ] || fail "no pop-up window on the screen"
# A menu would have shown by now, before the pop-up had painted.
[ "$(grep -c "tray menu shown main" "$log")" = "$shown_menus" ] || fail "the left button opened the menu"
read -r px py pw ph <<<"$popup"
# The icon sits in the top right corner, nearest the right edge: the pop-up
# stands at that edge, 8 pixels in, pushed down to the top margin.
[ $((px + pw)) -eq 1272 ] && [ "$py" -eq 8 ] || fail "pop-up at $popup, expected its right edge at 1272 and its top at 8 (icon at $ix,$iy)"
if [ -n "$shots" ]; then
  import -window root "$shots/tray-popup.png" || fail "no screenshot tray-popup.png"
fi

# A mode chosen in the menu: its notice in the toast window at the bottom
# right of the 1280 × 1024 screen (400 × 96 with a 16-pixel margin).
xdotool key Escape
for _ in $(seq "$harvel_polls"); do
  [ -z "$(window_rects 360)" ] && break
  sleep 0.05
done
[ -z "$(window_rects 360)" ] || fail "the pop-up stays after Escape"
click_icon 3 "tray menu shown main" "menu after the right button"
choose_item mode:zero Zero-learning
toast=""
for _ in $(seq "$harvel_polls"); do
  toast=$(window_rects 400 | head -n1)
  [ -n "$toast" ] && break
  sleep 0.05
done
[ "$toast" = "864 864 400 96" ] || fail "toast window at '$toast', expected 864 864 400 96"
if [ -n "$shots" ]; then
  wait_for "load-finished toast" "painted toast"
  import -window root "$shots/tray-toast-light.png" || fail "no screenshot tray-toast-light.png"
fi

# The same in the dark theme: a notice of the page's mode_set, shot once its
# card is drawn (the toast window's page is looked for among the windows).
main_handle=$(curl -s "$base/session/$session/window" | jq -r '.value')
switch_to() { post "/session/$session/window" "$(jq -cn --arg h "$1" '{handle: $h}')" >/dev/null || true; }
run 'window.__HARVEL_IPC__.invoke("settings_patch", {patch: {theme: "dark"}}).then(() => window.__HARVEL_IPC__.invoke("mode_set", {mode: "fast"})).then(() => arguments[0](true))' >/dev/null
dark_toast=""
for _ in $(seq "$harvel_polls"); do
  for h in $(curl -s "$base/session/$session/window/handles" | jq -r '.value[]'); do
    [ "$h" = "$main_handle" ] && continue
    switch_to "$h"
    seen=$(run 'arguments[0]([location.hash, window.__toast && window.__toast.title, document.documentElement.classList.contains("dark"), !!document.querySelector("[data-kind]")])' || true)
    [ "$seen" = '["#/toast","Fast rejimi yoqildi",true,true]' ] && dark_toast=$h && break
  done
  [ -n "$dark_toast" ] && break
  sleep 0.05
done
switch_to "$main_handle"
[ -n "$dark_toast" ] || fail "no dark toast of mode_set"
if [ -n "$shots" ]; then
  sleep 0.4
  import -window root "$shots/tray-toast-dark.png" || fail "no screenshot tray-toast-dark.png"
fi
grep -q "tray tooltip main Harvel · klaviatura kuzatuvi" "$log" && fail "the icon showed the stopped-hook look"
echo "tray: ok"
