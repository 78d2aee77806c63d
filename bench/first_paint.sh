#!/usr/bin/env bash
# First paint of the Linux host's main window, from process start, under a
# private Xvfb server. Budget: under 600 ms.
#
#   bench/first_paint.sh [runs] [harvel-binary]
#
# Each run starts a fresh host (and so a fresh web process) with tracing on,
# notes the wall clock just before the exec, and reads the host's
# "first-paint main" line: two animation frames after the page finished
# loading, so the page has been laid out and drawn. The first run warms the
# caches and is not counted. Prints every run, then min / median / max.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != --under-xvfb ]; then
  exec tests/linux_host/with_xvfb.sh "$0" --under-xvfb "$@"
fi
shift
runs=${1:-10}
harvel=$(realpath "${2:-build/linux/harvel}")
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

one_run() {
  # A log of its own: the web processes of the previous run may still be
  # writing to theirs.
  local log
  log=$(mktemp -p "$logs")
  ( printf 'start %s\n' "$EPOCHREALTIME"; HARVEL_HOST_TRACE=1 exec "$harvel" ) >>"$log" 2>&1 &
  local pid=$! line=""
  for _ in $(seq 400); do
    line=$(grep -m1 "first-paint main" "$log" || true)
    [ -n "$line" ] && break
    sleep 0.025
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -n "$line" ] || { echo "no first paint within 10 s:" >&2; cat "$log" >&2; return 1; }
  local start ns
  start=$(awk '/^start /{print $2; exit}' "$log")
  ns=$(sed -n 's/.*unix_ns=\([0-9]*\).*/\1/p' <<<"$line")
  awk -v s="$start" -v n="$ns" 'BEGIN { printf "%.1f\n", (n / 1e9 - s) * 1000 }'
}

one_run >/dev/null  # warm-up
results=()
for i in $(seq "$runs"); do
  ms=$(one_run)
  results+=("$ms")
  echo "run $i: $ms ms"
done
printf '%s\n' "${results[@]}" | sort -n | awk -v budget=600 '
  { v[NR] = $1 }
  END {
    median = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "first paint of the main window: min %.1f ms, median %.1f ms, max %.1f ms (%d runs)\n", v[1], median, v[NR], NR
    printf "budget %d ms: %s\n", budget, (median < budget) ? "within" : "OVER"
  }'
