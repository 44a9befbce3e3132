#!/bin/sh
# Installs the fcitx5 addon into scratch folders, system-wide (cmake --install with DESTDIR) and
# per user (install-user.sh with a scratch HOME), and checks what fcitx5 would read.
#   install-test.sh BUILD_DIR INSTALL_USER_SCRIPT ADDON_DIR PKGDATA_DIR
set -eu
build=$1 script=$2 addon_dir=$3 pkgdata_dir=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$scratch/root" cmake --install "$build" --component fcitx5 >/dev/null
[ -f "$scratch/root$addon_dir/libsumiro.so" ] || fail "no library in $addon_dir"
conf="$scratch/root$pkgdata_dir/addon/sumiro.conf"
grep -qx 'Library=libsumiro' "$conf" || fail "system description: $(grep Library "$conf")"
grep -qx 'Category=Module' "$conf" || fail "not a module"

HOME="$scratch/home" XDG_DATA_HOME='' "$script" "$build" --no-restart >/dev/null
[ -f "$scratch/home/.local/lib/sumiro/libsumiro.so" ] || fail "no per-user library"
grep -qx "Library=$scratch/home/.local/lib/sumiro/libsumiro" \
  "$scratch/home/.local/share/fcitx5/addon/sumiro.conf" || fail "per-user Library= is not absolute"
echo "fcitx5 addon installs system-wide and per user"
