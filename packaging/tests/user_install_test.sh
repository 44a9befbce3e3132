#!/bin/sh
# The README's install for a user without root: cmake --install into ~/.local, run by an
# unprivileged user (a throwaway one, removed afterwards, when the test runs as root). Then the
# installed pad's self-test, its recognizer finding the data beside it, and that user's own
# fcitx5 loading the installed addon.
# Usage: user_install_test.sh CMAKE BUILD_DIR
set -eu
cmake=$1
build=$(cd "$2" && pwd -P)
scratch=$(mktemp -d)
home=$scratch/home
manifest=$build/install_manifest.txt
user=
cleanup() {
  if [ -n "$user" ]; then
    userdel "$user" || echo "warning: could not remove the test user $user" >&2
    # Back to the build tree's owner, as any later install expects.
    chown --reference="$build" "$manifest" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

environment="HOME=$home PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8"
if [ "$(id -u)" -eq 0 ]; then
  user=sumiro-test-$$
  chmod 755 "$scratch"
  # useradd waits for no one: another test's useradd may hold the lock for a moment.
  tries=0
  until useradd --home-dir "$home" --create-home --shell /bin/sh --user-group "$user" \
      2>"$scratch/useradd.err"; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || { user=; fail "useradd: $(cat "$scratch/useradd.err")"; }
    sleep 0.2
  done
  # shellcheck disable=SC2086
  as_user() { runuser -u "$user" -- env -i $environment "$@"; }
  as_user test -r "$build/cmake_install.cmake" ||
    { echo "SKIP: $user cannot read the build tree $build"; exit 77; }
  # The one file cmake --install writes into the build tree; a user installing from a build tree
  # of their own owns it.
  touch "$manifest"
  chown "$user" "$manifest"
else
  mkdir "$home"
  # shellcheck disable=SC2086
  as_user() { env -i $environment "$@"; }
fi
prefix=$home/.local

as_user "$cmake" --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; fail "cmake --install --prefix ~/.local as $(as_user id -un)"; }
outside=$(grep -v "^$prefix/" "$manifest" || true)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

as_user "$prefix/bin/sumiro" --self-test "$prefix/share/sumiro" >"$scratch/self-test.out" ||
  { cat "$scratch/self-test.out"; fail "installed self-test"; }
passes=$(grep -c '^PASS ' "$scratch/self-test.out")
[ "$passes" -eq 14 ] || fail "$passes of 14 checks passed"
answer=$(echo '{"id": "t", "strokes": [[[10, 50], [90, 50]], [[50, 10], [50, 90]]]}' |
  as_user "$prefix/bin/sumiro-recognize" --limit 3)
case $answer in
  *'"candidates": ["十"'*) ;;
  *) fail "installed sumiro-recognize: $answer" ;;
esac

if [ ! -f "$build/im/fcitx5/libsumiro.so" ]; then
  echo "installed for $(as_user id -un) under ~/.local; self-test 14/14; no fcitx5 addon built"
  exit 0
fi
grep -q "fcitx5 loads the Sumiro addon when it starts next" "$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "no word on how the addon gets loaded"; }
# The user's fcitx5, on a bus of its own, with only the addon and the addons it needs: the
# addon's interface answers once fcitx5 has loaded it from ~/.local.
cat >"$scratch/fcitx5-check.sh" <<'CHECK'
export XDG_RUNTIME_DIR="$HOME/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
fcitx5 --disable=all --enable=keyboard,dbus,sumiro >"$HOME/fcitx5.log" 2>&1 &
pid=$!
tries=0
until version=$(dbus-send --session --print-reply --dest=jp.local.Sumiro.Fcitx5 \
    /jp/local/Sumiro jp.local.Sumiro.Fcitx5.Version 2>/dev/null); do
  tries=$((tries + 1))
  if [ "$tries" -ge 200 ] || ! kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null
    cat "$HOME/fcitx5.log"
    exit 1
  fi
  sleep 0.1
done
kill "$pid"
wait "$pid" || true
echo "$version"
CHECK
version=$(as_user dbus-run-session -- sh "$scratch/fcitx5-check.sh") ||
  fail "the user's fcitx5 did not load the addon from ~/.local: $version"
case $version in
  *'string "'*) ;;
  *) fail "addon's Version: $version" ;;
esac
echo "installed for $(as_user id -un) under ~/.local; self-test 14/14; fcitx5 loaded the addon"
