#!/usr/bin/env bash
# Builds the Debian package of a Linux build folder and checks it: its
# metadata, its files, its Depends against the libraries the binary links;
# installs it into a scratch root whose package database is this machine's,
# starts the installed program from its desktop entry's command, turns on
# start with the system through the page, and removes the package again,
# which leaves the user's data alone. Run under a display with private XDG
# folders (tests/linux_host/with_xvfb.sh).
#   check-package.sh <build folder> <version> <WebKitWebDriver>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
version=$2
driver=$3
arch=$(dpkg --print-architecture)
deb=$build/packages/harvel_${version}_${arch}.deb
work=$(mktemp -d)
root=$work/root
log=$work/log
pid=
driver_pid=
session=
base=
. "$here/../../tests/linux_host/webdriver_lib.sh"
cleanup() {
  stop_driver
  [ -n "$pid" ] && { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "package: $1" >&2
  [ -s "$log" ] && sed 's/^/  | /' "$log" >&2
  exit 1
}
for tool in cpack dpkg dpkg-deb desktop-file-validate objdump xprop xdotool jq curl; do
  command -v "$tool" >/dev/null || fail "the command $tool is missing (scripts/setup installs it)"
done
[ -x "$driver" ] || fail "WebKitWebDriver is missing (scripts/setup installs webkit2gtk-driver)"

# ---- build --------------------------------------------------------------------
rm -f "$deb"
(cd "$build" && cpack -G DEB >"$log" 2>&1) || fail "cpack failed"
[ -f "$deb" ] || fail "no $deb"
: >"$log"

# ---- metadata -----------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = harvel ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), expected $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is $(field Architecture)"
for f in Maintainer Description Section Priority Homepage Installed-Size; do
  [ -n "$(field "$f")" ] || fail "no $f field"
done
depends=$(field Depends)
# Every library the binary links comes from a package named in Depends.
dpkg-deb -x "$deb" "$work/files"
depend_names=$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')
for binary in "$work/files/usr/bin/harvel" "$work/files/usr/libexec/harvel/harvel-keys"; do
  needed=$(objdump -p "$binary" | awk '$1 == "NEEDED" { print $2 }')
  [ -n "$needed" ] || fail "$(basename "$binary") links no library"
  libraries=$(ldd "$binary")
  for lib in $needed; do
    path=$(awk -v l="$lib" '$1 == l && $2 == "=>" { print $3 }' <<<"$libraries")
    [ -n "$path" ] || fail "library $lib not found"
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null) || fail "no package holds $lib"
    pkg=${owner%%:*}
    grep -qxF "$pkg" <<<"$depend_names" || fail "Depends lacks $pkg (for $lib): $depends"
  done
  file "$binary" | grep -q "stripped" && ! file "$binary" | grep -q "not stripped" ||
    fail "$(basename "$binary") is not stripped"
done

# ---- files --------------------------------------------------------------------
expected="./usr/bin/harvel 755
./usr/libexec/harvel/harvel-keys 755
./usr/share/applications/harvel.desktop 644
./usr/share/doc/harvel/copyright 644"
for size in 16 24 32 48 64 128 256; do
  expected+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/harvel.png 644"
done
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { m = 0; for (i = 2; i <= 10; i++) m = m * 2 + (substr($1, i, 1) != "-"); printf "%s %o %s\n", $6, m, $2 }')
owners=$(awk '{ print $3 }' <<<"$actual" | sort -u)
[ "$owners" = root/root ] || fail "files not owned by root: $owners"
[ "$(awk '{ print $1, $2 }' <<<"$actual" | sort)" = "$(sort <<<"$expected")" ] ||
  fail "package files differ: $(diff <(sort <<<"$expected") <(awk '{ print $1, $2 }' <<<"$actual" | sort) || true)"
desktop-file-validate "$work/files/usr/share/applications/harvel.desktop" >"$log" 2>&1 || fail "invalid desktop entry"
for size in 16 32 128 256; do
  [ "$(file -b "$work/files/usr/share/icons/hicolor/${size}x${size}/apps/harvel.png" | grep -o "$size x $size")" = "$size x $size" ] ||
    fail "the ${size}x${size} icon has another size"
done

# ---- install into a scratch root ----------------------------------------------
# The scratch root's package database is this machine's (less any harvel), so
# dpkg checks Depends against what is installed here; the package has no
# maintainer scripts to run inside it.
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
awk -v RS= -v ORS='\n\n' '$0 !~ /^Package: harvel(\n|$)/' /var/lib/dpkg/status >"$root/var/lib/dpkg/status"
: >"$root/var/lib/dpkg/available"
dpkg_root() {
  if [ "$(id -u)" -eq 0 ]; then
    dpkg --root="$root" "$@"
  else
    fakeroot -i "$work/fakeroot" -s "$work/fakeroot" dpkg --root="$root" --force-not-root "$@"
  fi
}
touch "$work/fakeroot"
dpkg_root -i "$deb" >"$log" 2>&1 || fail "dpkg -i failed"
dpkg_root -s harvel | grep -q "^Status: install ok installed" || fail "not installed"
for f in usr/bin/harvel usr/share/applications/harvel.desktop usr/share/icons/hicolor/256x256/apps/harvel.png; do
  [ -f "$root/$f" ] || fail "$f not installed"
done

# ---- start it from its desktop entry ------------------------------------------
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/harvel.desktop")
read -r -a command <<<"$exec_line"
program=$(PATH="$root/usr/bin:$PATH" command -v "${command[0]}") || fail "Exec names ${command[0]}, not on the PATH"
[ "$program" = "$root/usr/bin/harvel" ] || fail "Exec starts $program"
HARVEL_HOST_TRACE=1 "$program" "${command[@]:1}" >"$log" 2>&1 &
pid=$!
for _ in $(seq 300); do
  grep -q "first-paint main" "$log" && break
  kill -0 "$pid" 2>/dev/null || fail "the installed program ended"
  sleep 0.05
done
grep -q "first-paint main" "$log" || fail "no first paint of the installed program within 15 s"
[ "$(readlink -f "/proc/$pid/exe")" = "$root/usr/bin/harvel" ] || fail "another binary runs"
# Its keyboard hook runs, with the installed key guard.
for _ in $(seq 300); do
  grep -q "keyboard hook: installed" "$log" && break
  sleep 0.05
done
grep -q "keyboard hook: installed" "$log" || fail "the installed program's keyboard hook did not start"
guards=""
for child in $(cat /proc/"$pid"/task/*/children); do guards+="$(readlink -f "/proc/$child/exe") "; done
[[ " $guards" == *" $root/usr/libexec/harvel/harvel-keys "* ]] || fail "the installed key guard does not run (children: $guards)"
# Its window carries the program icon at 32 and 128 pixels.
window=$(xdotool search --onlyvisible --pid "$pid" --name '^Harvel$' | head -n1)
[ -n "$window" ] || fail "no window named Harvel"
xprop -id "$window" -notype 32c _NET_WM_ICON >"$work/icon"
# The property is width, height and the pixels of each image in turn.
sizes=$(sed 's/^[^=]*= //' "$work/icon" | tr -d ' \n' | tr ',' '\n' |
  awk 'skip > 0 { skip--; next } !w { w = $1; next } { printf "%sx%s ", w, $1; skip = w * $1; w = 0 }')
[ "$sizes" = "32x32 128x128 " ] || fail "window icon sizes: '$sizes', expected 32x32 and 128x128"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

# ---- start with the system names the installed program ------------------------
start_driver "$driver" "$log" || fail "WebKitWebDriver did not start"
start_session "$root/usr/bin/harvel" '["--automation"]' || fail "no session"
script='window.__HARVEL_IPC__.invoke("settings_patch", {patch: {startup: true}}).then(() => arguments[0]("ok"), e => arguments[0](String(e)))'
reply=$(post "/session/$session/execute/async" "$(jq -cn --arg js "$script" '{script: $js, args: []}')" | jq -r '.value')
[ "$reply" = ok ] || fail "settings_patch: $reply"
entry=$XDG_CONFIG_HOME/autostart/harvel.desktop
[ -f "$entry" ] || fail "no autostart entry"
grep -qxF "Exec=\"$root/usr/bin/harvel\" --hidden" "$entry" || fail "autostart Exec: $(grep ^Exec= "$entry")"
grep -qxF "Icon=harvel" "$entry" || fail "autostart entry without the icon"
desktop-file-validate "$entry" >"$log" 2>&1 || fail "invalid autostart entry"
stop_driver
session=
driver_pid=
settings=$XDG_DATA_HOME/uz.harvel.desktop/settings.json
[ -f "$settings" ] || fail "the program wrote no settings"

# ---- remove -------------------------------------------------------------------
dpkg_root -r harvel >"$log" 2>&1 || fail "dpkg -r failed"
dpkg_root -P harvel >"$log" 2>&1 || fail "dpkg -P failed"
left=""
[ -d "$root/usr" ] && left=$(find "$root/usr" -type f)
[ -z "$left" ] || fail "files left after removal: $left"
[ -f "$settings" ] && [ -f "$entry" ] || fail "removing the package touched the user's data"
echo "package: ok ($(basename "$deb"), $(stat -c %s "$deb") bytes)"
