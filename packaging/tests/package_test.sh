#!/bin/sh
# Builds the Debian package from the build tree, checks it with lintian, unpacks it with
# dpkg-deb -x and runs the self-test of the unpacked programs on the unpacked data.
# Usage: package_test.sh CPACK BUILD_DIR
set -eu
cpack=$1
build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$scratch" && "$cpack" --config "$build/CPackConfig.cmake" -B "$scratch/out") \
  >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
set -- "$scratch"/out/sumiro_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "no single sumiro_*.deb: $*"
deb=$1
dpkg-deb --field "$deb"

depends=$(dpkg-deb --field "$deb" Depends)
for needed in fonts-noto-cjk libc6 libstdc++6; do
  case ", $depends," in
    *", $needed"[\ ,]*) ;;
    *) fail "Depends lacks $needed: $depends" ;;
  esac
done

# Errors fail the test; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$scratch/root"
root="$scratch/root/usr"
# A version bump reaches the changelog and the metainfo too.
version=$(dpkg-deb --field "$deb" Version)
zcat "$root/share/doc/sumiro/changelog.gz" | head -n 1 | grep -qF "sumiro ($version)" ||
  fail "changelog does not start with version $version"
grep -qF "<release version=\"$version\"" "$root/share/metainfo/jp.local.Sumiro.metainfo.xml" ||
  fail "metainfo has no release $version"
"$root/bin/sumiro" --self-test "$root/share/sumiro" >"$scratch/self-test.out" ||
  { cat "$scratch/self-test.out"; fail "self-test of the unpacked package"; }
passes=$(grep -c '^PASS ' "$scratch/self-test.out")
[ "$passes" -eq 14 ] || fail "$passes of 14 checks passed"
answer=$(echo '{"id": "t", "strokes": [[[10, 50], [90, 50]], [[50, 10], [50, 90]]]}' |
  "$root/bin/sumiro-recognize" --limit 3)
case $answer in
  *'"candidates": ["十"'*) ;;
  *) fail "unpacked sumiro-recognize: $answer" ;;
esac
echo "$(basename "$deb"): lintian clean of errors; unpacked self-test 14/14"
