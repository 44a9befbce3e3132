#!/bin/sh
# Builds the Debian packages from the build tree and checks them as a distribution would: lintian
# (pedantic, no error or warning), their fields, no path of the building machine inside, and the
# programs unpacked into a scratch root running on their own data and on nothing else.
# Usage: package_test.sh CPACK BUILD_DIR SOURCE_DIR [hardened|unhardened|sanitized]
# A build made without Debian's hardening flags is not asked for them. A sanitized build is not
# checked for the building machine's paths either: AddressSanitizer and UndefinedBehaviorSanitizer
# keep every source file's path for their reports (clang keeps them whatever prefix map it is
# given), and such a build is never shipped.
set -eu
cpack=$1
build=$(cd "$2" && pwd -P)
source=$(cd "$3" && pwd -P)
hardening=${4:-hardened}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$scratch" && "$cpack" --config "$build/CPackConfig.cmake" -B "$scratch/out") \
  >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
set -- "$scratch"/out/sumiro_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "no single sumiro_*.deb: $*"
pad=$1
debs=$pad
addon=
if [ -f "$build/im/fcitx5/libsumiro.so" ]; then
  set -- "$scratch"/out/sumiro-fcitx5_*.deb
  [ $# -eq 1 ] && [ -f "$1" ] || fail "the addon is built but no single sumiro-fcitx5_*.deb: $*"
  addon=$1
  debs="$pad $addon"
fi
for deb in $debs; do dpkg-deb --field "$deb"; echo; done

# has FIELD PACKAGE... DEB: the relation field names each package.
has() {
  field=$1 deb=$2
  shift 2
  value=$(dpkg-deb --field "$deb" "$field")
  for needed in "$@"; do
    case ", $value," in
      *", $needed"[\ ,]*) ;;
      *) fail "$(basename "$deb"): $field lacks $needed: $value" ;;
    esac
  done
}
version=$(dpkg-deb --field "$pad" Version)
has Depends "$pad" fonts-noto-cjk qt6-qpa-plugins qt6-wayland libc6 libstdc++6 libqt6widgets6
has Recommends "$pad" sumiro-fcitx5
if [ -n "$addon" ]; then
  has Depends "$addon" fcitx5 libfcitx5core7 "sumiro (= $version)"
fi

# Errors and warnings fail; informational and pedantic tags are shown. Missing hardening
# (bind-now, fortify) is informational in lintian, and fails here.
# shellcheck disable=SC2086
lintian -I --pedantic --fail-on error,warning --tag-display-limit 0 $debs \
  >"$scratch/lintian.log" 2>&1 || { cat "$scratch/lintian.log"; fail "lintian"; }
cat "$scratch/lintian.log"
if [ "$hardening" = hardened ]; then
  ! grep -q 'hardening-no-' "$scratch/lintian.log" || fail "not hardened"
fi

for deb in $debs; do dpkg-deb -x "$deb" "$scratch/root"; done
root="$scratch/root/usr"
# Nothing names the machine that built it: neither the build tree nor the sources.
if [ "$hardening" != sanitized ]; then
  found=$(grep -rlF -e "$build" -e "$source" "$scratch/root" || true)
  [ -z "$found" ] || fail "building machine's paths in: $found"
fi

# A version bump reaches the changelog and the metainfo too.
zcat "$root/share/doc/sumiro/changelog.gz" | head -n 1 | grep -qF "sumiro ($version)" ||
  fail "changelog does not start with version $version"
grep -qF "<release version=\"$version\"" "$root/share/metainfo/jp.local.Sumiro.metainfo.xml" ||
  fail "metainfo has no release $version"
"$root/bin/sumiro" --self-test "$root/share/sumiro" >"$scratch/self-test.out" ||
  { cat "$scratch/self-test.out"; fail "self-test of the unpacked package"; }
passes=$(grep -c '^PASS ' "$scratch/self-test.out")
[ "$passes" -eq 14 ] || fail "$passes of 14 checks passed"
ink='{"id": "t", "strokes": [[[10, 50], [90, 50]], [[50, 10], [50, 90]]]}'
answer=$(echo "$ink" | "$root/bin/sumiro-recognize" --limit 3)
case $answer in
  *'"candidates": ["十"'*) ;;
  *) fail "unpacked sumiro-recognize: $answer" ;;
esac
# Without its own data it says so, though the build tree's data lie on this machine.
rm "$root/share/sumiro/characters.json"
if echo "$ink" | "$root/bin/sumiro-recognize" >"$scratch/missing.out" 2>&1; then
  fail "answered without its data: $(cat "$scratch/missing.out")"
fi
grep -qF "$root/share/sumiro/characters.json" "$scratch/missing.out" ||
  fail "missing data not named: $(cat "$scratch/missing.out")"

if [ -n "$addon" ]; then
  library=$(find "$root/lib" -path '*/fcitx5/libsumiro.so')
  [ "$library" = "$root/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/fcitx5/libsumiro.so" ] ||
    fail "addon library not in fcitx5's folder: $library"
  grep -qx 'Library=libsumiro' "$root/share/fcitx5/addon/sumiro.conf" ||
    fail "addon description: $(grep Library= "$root/share/fcitx5/addon/sumiro.conf")"
fi
echo "$(cd "$scratch/out" && echo *.deb): lintian without errors or warnings;" \
  "no build path; unpacked self-test 14/14; missing data reported"
