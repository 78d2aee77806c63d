# Shared by the scripts (sourced): the Node.js the web tools run on, the
# number of build and test jobs, and the up-front check of the commands a
# script calls.

harvel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The web tools need this Node.js or newer.
harvel_node_min=20.19.0
# Where scripts/setup puts the pinned Node.js when the system's is older.
harvel_node_dir=$harvel_root/.tools/node

node_version_ok() {  # [node program]
  local v
  v=$("${1:-node}" --version 2>/dev/null) || return 1
  dpkg --compare-versions "${v#v}" ge "$harvel_node_min"
}

# The system's Node.js when it is new enough, else the project's own.
if ! node_version_ok && [ -x "$harvel_node_dir/bin/node" ]; then
  export PATH="$harvel_node_dir/bin:$PATH"
fi

require_node() {
  node_version_ok && return 0
  echo "$(basename "$0"): Node.js $(node --version 2>/dev/null || echo "is missing"): the web tools need" \
    "$harvel_node_min or newer (scripts/setup fetches one into .tools/node)" >&2
  exit 1
}

# Every command of the list (command:package) must be on the PATH; the
# missing ones are named, with the package that has them.
require_commands() {
  local item missing=()
  for item in "$@"; do
    command -v "${item%%:*}" >/dev/null 2>&1 || missing+=("${item%%:*} (package ${item#*:})")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  printf '%s: missing command: %s\n' "$(basename "$0")" "${missing[@]}" >&2
  echo "$(basename "$0"): scripts/setup installs them" >&2
  exit 1
}

# Build and test jobs: the machine's cores, unless the caller chose.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$CMAKE_BUILD_PARALLEL_LEVEL}

# What building the program needs, and what the tests call on top.
harvel_build_commands=(cmake:cmake make:make g++:g++ pkg-config:pkg-config node:nodejs npm:npm)
harvel_test_commands=(
  "${harvel_build_commands[@]}" ctest:cmake cpack:cmake git:git file:file timeout:coreutils flock:util-linux
  x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64
  wine:wine wineboot:wine wineserver:wine Xvfb:xvfb xvfb-run:xvfb xauth:xauth xdotool:xdotool xcompmgr:xcompmgr
  setxkbmap:x11-xkb-utils xprop:x11-utils import:imagemagick trayer:trayer WebKitWebDriver:webkit2gtk-driver
  chromium:chromium firefox-esr:firefox-esr xterm:xterm wish:tk openbox:openbox
  curl:curl jq:jq objdump:binutils dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev fakeroot:fakeroot
  desktop-file-validate:desktop-file-utils makensis:nsis
)
