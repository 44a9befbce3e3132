#!/usr/bin/env bash
# Installs Sumiro's fcitx5 addon for the current user only, from a build tree, and restarts
# fcitx5 so that it loads the addon.
#   im/fcitx5/install-user.sh [BUILD_DIR] [--no-restart]
# BUILD_DIR defaults to the repository's build/. The library goes to ~/.local/lib/sumiro and
# the addon's description to ~/.local/share/fcitx5/addon/sumiro.conf ($XDG_DATA_HOME is honoured).
set -euo pipefail

build=$(cd "$(dirname "$0")/../.." && pwd)/build
restart=1
for arg in "$@"; do
  case "$arg" in
    --no-restart) restart=0 ;;
    -h|--help) sed -n '2,6p' "$0"; exit 0 ;;
    *) build=$arg ;;
  esac
done

library="$build/im/fcitx5/libsumiro.so"
description="$build/im/fcitx5/share/fcitx5/addon/sumiro.conf"
if [ ! -f "$library" ] || [ ! -f "$description" ]; then
  echo "error: no built addon in $build/im/fcitx5 (build with the fcitx5 development packages)" >&2
  exit 1
fi

lib_dir="$HOME/.local/lib/sumiro"
addon_dir="${XDG_DATA_HOME:-$HOME/.local/share}/fcitx5/addon"
mkdir -p "$lib_dir" "$addon_dir"
# Copied under a temporary name and renamed: a running fcitx5 may have the old file mapped.
cp "$library" "$lib_dir/libsumiro.so.new"
mv -f "$lib_dir/libsumiro.so.new" "$lib_dir/libsumiro.so"
# fcitx5 appends ".so" to Library=; an absolute path loads from outside its own folders.
sed "s|^Library=.*|Library=$lib_dir/libsumiro|" "$description" >"$addon_dir/sumiro.conf"
echo "Installed the Sumiro addon for $(id -un): $addon_dir/sumiro.conf"

if [ "$restart" -eq 1 ]; then
  if pgrep -u "$(id -u)" -x fcitx5 >/dev/null 2>&1; then
    # -r replaces the running fcitx5; fcitx5 loads addons only when it starts.
    fcitx5 -r -d >/dev/null 2>&1 && echo "fcitx5 restarted"
  else
    echo "fcitx5 is not running; it loads the addon when it starts next"
  fi
fi
