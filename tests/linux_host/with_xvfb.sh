#!/usr/bin/env bash
# Runs a command under a private Xvfb server on a display the server picks
# itself (-displayfd), so parallel runs never collide, with private XDG
# folders so nothing is written to the user's own.
#   with_xvfb.sh [--accessibility] [--window-manager] COMMAND...
# --accessibility: a private session bus too, and GTK's accessibility bridge
# on, so programs are seen in the accessibility tree (AT-SPI).
# --window-manager: openbox manages the windows, as on a desktop.
set -euo pipefail
accessibility=false
window_manager=false
while :; do
  case "${1:-}" in
    --accessibility) accessibility=true ;;
    --window-manager) window_manager=true ;;
    *) break ;;
  esac
  shift
done
needs=()
$accessibility && needs+=(dbus-run-session /usr/libexec/at-spi-bus-launcher /usr/libexec/at-spi2-registryd)
$window_manager && needs+=(openbox xprop)
for need in "${needs[@]}"; do
  command -v "$need" >/dev/null 2>&1 || [ -x "$need" ] || { echo "with_xvfb: $need is missing (scripts/setup)" >&2; exit 1; }
done
. "$(dirname "$0")/wait_lib.sh"
tmp=$(mktemp -d)
mkdir -p "$tmp/data" "$tmp/cache" "$tmp/config" "$tmp/runtime"
chmod 700 "$tmp/runtime"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
wm=
cleanup() {
  if [ -n "$wm" ]; then
    kill "$wm" 2>/dev/null || true
    wait "$wm" 2>/dev/null || true
  fi
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
for _ in $(seq "$harvel_polls"); do
  [ "$(wc -l <"$tmp/display")" -ge 1 ] && break  # a whole line: the server is ready
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
display=$(head -n1 "$tmp/display" 2>/dev/null || true)
if [ -z "$display" ]; then
  echo "with_xvfb: Xvfb did not start" >&2
  cat "$tmp/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"
export XDG_DATA_HOME="$tmp/data" XDG_CACHE_HOME="$tmp/cache" XDG_CONFIG_HOME="$tmp/config"
export XDG_RUNTIME_DIR="$tmp/runtime"
unset WAYLAND_DISPLAY
if $window_manager; then
  openbox >"$tmp/openbox.log" 2>&1 &
  wm=$!
  # Running once it names itself on the root window.
  for _ in $(seq "$harvel_polls"); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    kill -0 "$wm" 2>/dev/null || break
    sleep 0.05
  done
  if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
    echo "with_xvfb: openbox did not start" >&2
    cat "$tmp/openbox.log" >&2
    exit 1
  fi
fi
set +e
if $accessibility; then
  unset NO_AT_BRIDGE
  dbus-run-session -- "$@"
else
  NO_AT_BRIDGE=1 "$@"
fi
status=$?
set -e
exit "$status"
