#!/usr/bin/env bash
# Key-to-screen time on the Linux host, plain keys and converted keys side by
# side, under a private Xvfb server with the accessibility bus. Budgets: a
# converted key adds at most 2 ms at p99 over a plain one, and the hook adds
# at most 0.5 ms to a plain key's median over no hook.
#
#   bench/key_to_screen.sh [pairs] [harvel-binary] [key_to_screen-binary] [x11_textbox-binary]
#
# Runs the baseline without a hook, the same with an accessibility client
# listening (as the hook's own password check does: GTK programs then report
# every key to the accessibility registry), then the program in hybrid and
# in zero mode (hidden, onboarded), each typing `pairs` plain and converted
# keys into the GTK text-box program through XTest. Prints median and p99
# of each, then the budgets' figures.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != --under-xvfb ]; then
  exec tests/linux_host/with_xvfb.sh --accessibility "$0" --under-xvfb "$@"
fi
shift
pairs=${1:-300}
harvel=$(realpath "${2:-build/linux/harvel}")
bench=$(realpath "${3:-build/bench/bench/key_to_screen}")
# The text-box program is built with the tests when they are configured too.
textbox_default=build/bench/bench/x11_textbox
[ -x "$textbox_default" ] || textbox_default=build/bench/tests/linux_host/x11_textbox
textbox=$(realpath "${4:-$textbox_default}")
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

run() { "$bench" "$textbox" "$@" | tee -a "$logs/figures"; }
run none "$pairs"
"$(dirname "$bench")/accessibility_listener" &
listener=$!
sleep 1
run listened "$pairs"
kill "$listener"
wait "$listener" 2>/dev/null || true
for mode in hybrid zero; do
  mkdir -p "$XDG_DATA_HOME/uz.harvel.desktop"
  printf '{"mode": "%s", "onboarded": true}' "$mode" >"$XDG_DATA_HOME/uz.harvel.desktop/settings.json"
  HARVEL_HOST_TRACE=1 "$harvel" --hidden >"$logs/$mode.log" 2>&1 &
  pid=$!
  for _ in $(seq 200); do
    grep -q "keyboard hook: installed" "$logs/$mode.log" && break
    sleep 0.05
  done
  grep -q "keyboard hook: installed" "$logs/$mode.log" || { cat "$logs/$mode.log" >&2; exit 1; }
  status=0
  run "$mode" "$pairs" || status=$?
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  [ "$status" = 0 ] || { echo "key_to_screen: $mode failed" >&2; exit "$status"; }
done

# The budgets' figures, from the medians and p99s above.
awk '
  { median[$1 " " $2] = $5; p99[$1 " " $2] = $8 }
  END {
    for (m = 1; m <= 2; m++) {
      mode = m == 1 ? "hybrid" : "zero"
      printf "%-6s hook over no hook, plain median: %+.3f ms (over a listened baseline: %+.3f ms); converted over plain, p99: %+.3f ms\n",
        mode, median[mode " plain"] - median["none plain"], median[mode " plain"] - median["listened plain"],
        p99[mode " converted"] - p99[mode " plain"]
    }
  }' "$logs/figures"
