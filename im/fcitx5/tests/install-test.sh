#!/bin/sh
# Installs the fcitx5 addon into scratch folders: under fcitx5's own prefix (as the package does)
# and under another (cmake --install with DESTDIR), and per user (install-user.sh with a scratch
# HOME); checks what fcitx5 would read.
#   install-test.sh BUILD_DIR INSTALL_USER_SCRIPT ADDON_DIR PKGDATA_DIR
set -eu
build=$1 script=$2 addon_dir=$3 pkgdata_dir=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# In fcitx5's prefix the library lies in fcitx5's folder and is named without a path.
DESTDIR="$scratch/system" cmake --install "$build" --component fcitx5 --prefix /usr >/dev/null
[ -f "$scratch/system$addon_dir/libsumiro.so" ] || fail "no library in $addon_dir"
conf="$scratch/system$pkgdata_dir/addon/sumiro.conf"
grep -qx 'Library=libsumiro' "$conf" || fail "system description: $(grep Library "$conf")"
grep -qx 'Category=Module' "$conf" || fail "not a module"

# Elsewhere everything stays under the prefix, and the description names the library's path.
DESTDIR="$scratch/other" cmake --install "$build" --component fcitx5 --prefix /opt/sumiro \
  >/dev/null
library=/opt/sumiro/${addon_dir#/usr/}/libsumiro
[ -f "$scratch/other$library.so" ] || fail "no library at $library.so"
outside=$(find "$scratch/other" -type f ! -path "$scratch/other/opt/sumiro/*")
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
conf="$scratch/other/opt/sumiro/share/fcitx5/addon/sumiro.conf"
grep -qx "Library=$library" "$conf" || fail "description elsewhere: $(grep Library "$conf")"

HOME="$scratch/home" XDG_DATA_HOME='' "$script" "$build" --no-restart >/dev/null
[ -f "$scratch/home/.local/lib/sumiro/libsumiro.so" ] || fail "no per-user library"
grep -qx "Library=$scratch/home/.local/lib/sumiro/libsumiro" \
  "$scratch/home/.local/share/fcitx5/addon/sumiro.conf" || fail "per-user Library= is not absolute"
echo "fcitx5 addon installs in fcitx5's prefix, in another and per user"
