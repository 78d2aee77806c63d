. "$(dirname "${BASH_SOURCE[0]}")/wait_lib.sh"
# Shared by the WebDriver scripts (sourced): starts WebKitWebDriver on a free
# port (it fails at once when its port is taken) and sets driver_pid and base.
#   start_driver <WebKitWebDriver> <log file>
# Environment variables set by the caller reach the program it starts.
#   start_session <program> <its arguments as a JSON array>  sets session
#   stop_driver  ends the session and the driver (for an exit trap)
start_driver() {
  local driver=$1 log=$2
  for _ in $(seq 20); do
    port=$((20000 + RANDOM % 30000))
    "$driver" --port="$port" >"$log" 2>&1 &
    driver_pid=$!
    base="http://127.0.0.1:$port"
    for _ in $(seq "$harvel_polls"); do
      curl -s "$base/status" 2>/dev/null | grep -q '"ready"' && return 0
      kill -0 "$driver_pid" 2>/dev/null || break
      sleep 0.05
    done
    kill "$driver_pid" 2>/dev/null || true
    wait "$driver_pid" 2>/dev/null || true
    driver_pid=
  done
  return 1
}

post() { curl -s -X POST -H 'Content-Type: application/json' -d "$2" "$base$1"; }

start_session() {
  local caps reply
  caps=$(jq -cn --arg bin "$1" --argjson args "$2" \
    '{capabilities: {alwaysMatch: {"webkitgtk:browserOptions": {binary: $bin, args: $args}}}}')
  reply=$(post /session "$caps")
  session=$(jq -r '.value.sessionId // empty' <<<"$reply")
  [ -n "$session" ] || { echo "no session: $reply" >&2; return 1; }
}

stop_driver() {
  if [ -n "${session:-}" ]; then curl -s -X DELETE "$base/session/$session" >/dev/null 2>&1 || true; fi
  if [ -n "${driver_pid:-}" ]; then
    kill "$driver_pid" 2>/dev/null || true
    wait "$driver_pid" 2>/dev/null || true
  fi
}
