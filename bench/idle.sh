#!/usr/bin/env bash
# The cost of sitting in the tray: the Linux host started with "--hidden"
# (onboarded, so no window shows) under a private Xvfb server, left alone.
# Goal: at most 20 wake-ups a second in all processes and 0.2 % of a core.
#
#   bench/idle.sh [seconds] [harvel-binary] [settle-seconds]
#
# Defaults: 30 s measured after 100 s of settling, build/linux/harvel. Builds
# nothing. The settling covers the start-up work, which is not idling: the
# web engine's first collections of the loaded page (in the first 20 s or so;
# a settle of 5 s shows them) and the first fetch of the offers, due 30 s
# after start and taken at the next 10 s tick, which waits up to 30 s more
# where the network does not answer (a settle of 40 s shows it).
#
# As on a desktop, another program's window holds the input focus and is
# named active in the root's _NET_ACTIVE_WINDOW as a window manager would
# (the test window build/linux/tests/linux_host/x11_probe_window, not
# measured), so the watchers of the foreground have a window to look at.
# IDLE_FOREGROUND=focus: the window only holds the focus (no manager);
# IDLE_FOREGROUND=0: no window. IDLE_ACCESSIBILITY=1 runs with a private
# accessibility bus (GTK's bridge on). IDLE_SETTINGS replaces the settings
# file ({"onboarded": true}), e.g. with "mode": "english", where the keyboard
# hook does not run.
#
# Measures, from /proc, over the fixed time for the whole process tree (the
# host and its web and network processes):
#   - CPU as a percentage of one core, per thread and per process, from the
#     run time in /proc/PID/task/TID/schedstat (nanoseconds);
#   - wake-ups a second per thread: voluntary plus nonvoluntary context
#     switches from /proc/PID/task/TID/status, named by the thread's comm;
#   - PSS per process from /proc/PID/smaps_rollup at the end.
# Sampled every second: threads that start inside the window count from
# zero ("new"); threads that end inside it count up to their last sample
# ("gone"), so at most their final second is lost.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != --under-xvfb ]; then
  if [ "${IDLE_ACCESSIBILITY:-0}" = 1 ]; then
    exec tests/linux_host/with_xvfb.sh --accessibility "$0" --under-xvfb "$@"
  fi
  exec tests/linux_host/with_xvfb.sh "$0" --under-xvfb "$@"
fi
shift
seconds=${1:-30}
harvel=$(realpath "${2:-build/linux/harvel}")
settle=${3:-100}
probe=$(realpath "${IDLE_PROBE:-build/linux/tests/linux_host/x11_probe_window}")
foreground=${IDLE_FOREGROUND:-active}
work=$(mktemp -d)
pid=""
box=""
cleanup() {
  for p in $pid $box; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$foreground" != 0 ]; then
  [ -x "$probe" ] || { echo "idle: $probe is missing (build the tests, or IDLE_FOREGROUND=0)" >&2; exit 1; }
  # The window ends when its input closes: hold it open.
  mkfifo "$work/box_in"
  args=("Matn" "editor" "Editor")
  [ "$foreground" = active ] && args+=(active)
  "$probe" "${args[@]}" <"$work/box_in" >"$work/box.log" 2>&1 &
  box=$!
  exec 8>"$work/box_in"
  for _ in $(seq 200); do
    grep -q '^[0-9]' "$work/box.log" && break
    sleep 0.05
  done
  grep -q '^[0-9]' "$work/box.log" || { echo "idle: the test window did not come up:" >&2; cat "$work/box.log" >&2; exit 1; }
fi

mkdir -p "$XDG_DATA_HOME/uz.harvel.desktop"
settings=${IDLE_SETTINGS:-'{"onboarded": true}'}
printf '%s' "$settings" >"$XDG_DATA_HOME/uz.harvel.desktop/settings.json"
"$harvel" --hidden >"$work/host.log" 2>&1 &
pid=$!
sleep "$settle"
kill -0 "$pid" 2>/dev/null || { echo "idle: the host ended during settling:" >&2; cat "$work/host.log" >&2; exit 1; }

# The host and every process below it, the host first.
tree() {
  local p
  awk '{ sub(/^.*\) /, ""); split($0, f, " "); print FILENAME, f[2] }' /proc/[0-9]*/stat 2>/dev/null |
    sed -n 's|^/proc/\([0-9]*\)/stat |\1 |p' >"$work/ppids" || true
  echo "$pid"
  local queue=("$pid")
  while [ "${#queue[@]}" -gt 0 ]; do
    p=${queue[0]}
    queue=("${queue[@]:1}")
    for c in $(awk -v p="$p" '$2 == p { print $1 }' "$work/ppids"); do
      echo "$c"
      queue+=("$c")
    done
  done
}

# One sample of every thread of the tree, one line each: sample number,
# pid, tid, run-time ns, context switches, thread name (tab-separated; names
# may hold spaces). One grep reads them all, so sampling stays cheap.
sample() {
  local n=$1 dirs=()
  for p in $(tree); do dirs+=("/proc/$p/task/"*); done
  [ "${#dirs[@]}" -gt 0 ] || return 0
  local files=()
  for d in "${dirs[@]}"; do files+=("$d/status" "$d/schedstat"); done
  { grep -sH -E '^(Name|Tgid|voluntary_ctxt_switches|nonvoluntary_ctxt_switches):|^[0-9]+ ' "${files[@]}" || true; } |
    awk -v n="$n" '
      {
        i = index($0, ":"); path = substr($0, 1, i - 1); line = substr($0, i + 1)
        split(path, parts, "/"); tid = parts[5]
        if (!(tid in seen)) { seen[tid] = 1; order[++count] = tid }
        if (parts[6] == "schedstat") { split(line, f, " "); run[tid] = f[1]; next }
        split(line, kv, "\t")
        if (kv[1] == "Name:") name[tid] = kv[2]
        else if (kv[1] == "Tgid:") tgid[tid] = kv[2]
        else ctx[tid] += kv[2]
      }
      END {
        for (k = 1; k <= count; k++) {
          t = order[k]
          if (t in tgid && t in run) printf "%s\t%s\t%s\t%s\t%d\t%s\n", n, tgid[t], t, run[t], ctx[t], name[t]
        }
      }'
}

pss() {
  local p kb
  for p in $(tree); do
    kb=$(awk '/^Pss:/ { print $2 }' "/proc/$p/smaps_rollup" 2>/dev/null) || continue
    [ -n "$kb" ] && printf '%s\t%s\n' "$p" "$kb"
  done
}

# Every second, so threads that come and go inside the window (the web
# process's collector helpers) are counted up to their last sample.
start=$EPOCHREALTIME
sample 0 >"$work/samples"
for i in $(seq "$seconds"); do
  sleep 1
  sample "$i" >>"$work/samples"
done
end=$EPOCHREALTIME
pss >"$work/pss"
for p in $(tree); do printf '%s\t%s\n' "$p" "$(cat "/proc/$p/comm" 2>/dev/null)"; done >"$work/names"

awk -F'\t' -v elapsed="$(awk -v s="$start" -v e="$end" 'BEGIN { print e - s }')" -v last="$seconds" \
  -v foreground="$(case $foreground in active) echo ", another window active" ;; focus) echo ", another window focused, no manager" ;; esac)" '
  FILENAME == ARGV[1] { pss[$1] = $2; next }
  FILENAME == ARGV[2] { pname[$1] = $2; next }
  {
    n = $1; pid = $2; tid = $3
    if (!(tid in first)) {
      first[tid] = n
      # A thread first seen after the start began inside the window.
      run0[tid] = (n == 0) ? $4 : 0; ctx0[tid] = (n == 0) ? $5 : 0
      if (!(pid in nthreads)) order[++nproc] = pid
      list[pid, ++nthreads[pid]] = tid
      tpid[tid] = pid
    }
    lastn[tid] = n; run[tid] = $4 - run0[tid]; ctx[tid] = $5 - ctx0[tid]; tname[tid] = $6
  }
  END {
    printf "idle for %.1f s after settling, hidden, onboarded%s\n\n", elapsed, foreground
    for (i = 1; i <= nproc; i++) {
      pid = order[i]
      prun = 0; pctx = 0
      for (j = 1; j <= nthreads[pid]; j++) { t = list[pid, j]; prun += run[t]; pctx += ctx[t] }
      name = (pid in pname) ? pname[pid] : "(ended)"
      printf "%s (pid %s): %.3f %% of a core, %.1f wake-ups/s, PSS %.1f MiB\n", name, pid,
        prun / 1e9 / elapsed * 100, pctx / elapsed, pss[pid] / 1024
      # Busiest threads first; threads without a wake-up are only counted.
      quiet = 0
      for (m = 1; m <= nthreads[pid]; m++) {
        best = ""
        for (j = 1; j <= nthreads[pid]; j++) {
          t = list[pid, j]
          if (!(t in done) && (best == "" || ctx[t] > ctx[best])) best = t
        }
        done[best] = 1
        if (ctx[best] == 0 && run[best] == 0) { quiet++; continue }
        note = (first[best] > 0 ? " new" : "") (lastn[best] < last ? " gone" : "")
        printf "  %-18s tid %-8s %7.2f wake-ups/s %7.3f %% cpu%s\n", tname[best], best,
          ctx[best] / elapsed, run[best] / 1e9 / elapsed * 100, note
      }
      if (quiet) printf "  (%d threads without a wake-up)\n", quiet
      totalrun += prun; totalctx += pctx; totalpss += pss[pid]
    }
    printf "\ntotal: %.3f %% of a core, %.1f wake-ups/s, PSS %.1f MiB in %d processes\n",
      totalrun / 1e9 / elapsed * 100, totalctx / elapsed, totalpss / 1024, nproc
    printf "goal (<= 0.2 %% of a core, <= 20 wake-ups/s): %s\n",
      (totalrun / 1e9 / elapsed * 100 <= 0.2 && totalctx / elapsed <= 20) ? "met" : "NOT met"
  }' "$work/pss" "$work/names" "$work/samples"
