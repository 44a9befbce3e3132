#!/bin/sh
# Installs the build to a scratch prefix, checks the desktop files there, runs the installed
# self-test, then moves the tree and shows that the installed programs still find their data
# beside themselves, wherever the prefix is.
# Usage: install_test.sh CMAKE BUILD_DIR
set -eu
cmake=$1
build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Staged under DESTDIR, as a package build installs.
prefix="$scratch/dest/first prefix"
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$scratch/dest" "$cmake" --install "$build" --prefix "/first prefix" \
  >"$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "cmake --install"; }

for file in bin/sumiro bin/sumiro-recognize \
    share/sumiro/characters.json share/sumiro/templates.json share/sumiro/Help.html \
    share/sumiro/Help.en.html share/sumiro/sumiro_en.qm \
    share/applications/jp.local.Sumiro.desktop \
    share/metainfo/jp.local.Sumiro.metainfo.xml \
    share/icons/hicolor/scalable/apps/jp.local.Sumiro.svg \
    share/man/man1/sumiro.1.gz share/man/man1/sumiro-recognize.1.gz; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
[ -x "$prefix/bin/sumiro" ] && [ -x "$prefix/bin/sumiro-recognize" ] || fail "not executable"

desktop-file-validate "$prefix/share/applications/jp.local.Sumiro.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/jp.local.Sumiro.metainfo.xml" ||
  fail "appstreamcli validate"
# The metainfo, the desktop entry it launches and the icon that entry names, seen together.
appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli validate-tree"

"$prefix/bin/sumiro" --self-test "$prefix/share/sumiro" >"$scratch/self-test.out" ||
  { cat "$scratch/self-test.out"; fail "installed self-test"; }
passes=$(grep -c '^PASS ' "$scratch/self-test.out")
[ "$passes" -eq 14 ] || fail "$passes of 14 checks passed"
grep -q 's; 0 failures$' "$scratch/self-test.out" || fail "closing line"

# Moved elsewhere, with a one-character data set in place of the installed one: answering from
# it proves the programs read share/sumiro beside them, not a path fixed at build time.
moved="$scratch/moved/usr"
mkdir -p "$scratch/moved"
mv "$prefix" "$moved"
printf '%s' '[{"character":"丁","count":2,"radicals":[1],"reading":"","common":true,"japanese":true}]' \
  >"$moved/share/sumiro/characters.json"
printf '%s' '[{"character":"丁","strokes":[[[10,20],[90,20]],[[50,20],[50,90]]]}]' \
  >"$moved/share/sumiro/templates.json"
answer=$(echo '{"id": "t", "strokes": [[[10, 50], [90, 50]], [[50, 10], [50, 90]]]}' |
  "$moved/bin/sumiro-recognize" --limit 5 --distinct)
case $answer in
  *'"candidates": ["丁"]'*) ;;
  *) fail "moved sumiro-recognize answered from other data: $answer" ;;
esac
echo "installed tree: $(cd "$moved" && find . -type f | wc -l) files; self-test 14/14; data found beside the programs"
