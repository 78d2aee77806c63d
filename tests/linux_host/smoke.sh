#!/usr/bin/env bash
# The host binary under a display: it starts, serves the embedded page, the
# page's first call over the command bridge reaches it, the window paints,
# and a second start hands over to the first copy and ends at once.
#   smoke.sh <harvel>
set -euo pipefail
harvel=$1
. "$(dirname "$0")/wait_lib.sh"
log=$(mktemp)
HARVEL_HOST_TRACE=1 "$harvel" >"$log" 2>&1 &
pid=$!
cleanup() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -f "$log"
}
trap cleanup EXIT
fail() {
  echo "smoke: $1" >&2
  sed 's/^/  | /' "$log" >&2
  exit 1
}
wait_for() {  # pattern, what
  for _ in $(seq "$harvel_polls"); do
    grep -q "$1" "$log" && return 0
    kill -0 "$pid" 2>/dev/null || fail "the host ended before $2"
    sleep 0.05
  done
  fail "no $2 within $harvel_wait s"
}
wait_for "first-paint main" "first paint"
wait_for "command main state_get" "state_get call from the page"
grep -q "asset 404" "$log" && fail "the page asked for a file that is not embedded"

# A second copy signals the first and ends with 0.
timeout "$harvel_wait" "$harvel" || fail "the second start did not end cleanly"
wait_for "second start" "second start in the first copy"
kill -0 "$pid" 2>/dev/null || fail "the first copy ended"
echo "smoke: ok ($(grep -o 'first-paint main ms=[0-9.]*' "$log"))"
