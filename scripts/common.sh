# Shared by ./run and ./test: install what is missing, then configure and build.
# shellcheck shell=bash

# Debian 12 packages. ./run installs the first list: what the pad and its fcitx5 addon need to
# build (with Debian's build flags, dpkg-dev) and to run, on X11 and as a Wayland overlay.
SUMIRO_PAD_PACKAGES=(
  cmake ninja-build g++ pkg-config dpkg-dev
  qt6-base-dev qt6-tools-dev qt6-l10n-tools libicu-dev libsimdjson-dev libfontconfig-dev
  libx11-dev libxtst-dev libibus-1.0-dev
  unicode-data kanjidic-xml nodejs npm
  libxml2-dev zlib1g-dev libbz2-dev
  fonts-noto-cjk
  libfcitx5core-dev libfcitx5utils-dev libfcitx5config-dev fcitx5-modules-dev libwayland-dev
  wayland-protocols qt6-base-private-dev qt6-wayland
)
# ./test installs this one too: test frameworks and benchmarks, the headless desktops and input
# methods the tests run the pad in, the packaging and desktop-file checks, the checked build.
SUMIRO_TEST_PACKAGES=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth openbox x11-utils xdotool trayer
  desktop-file-utils appstream file lintian
  imagemagick
  clang libclang-rt-dev
  fcitx5 fcitx5-frontend-qt6 fcitx5-frontend-gtk3
  ibus ibus-gtk3
  dbus-daemon dbus-x11 python3-gi gir1.2-gtk-3.0
  sway xwayland x11-xserver-utils grim wtype foot gir1.2-gtk-4.0 fcitx5-frontend-gtk4 ibus-gtk4
  gnome-shell xterm at-spi2-core
  kwin-wayland
)

sumiro_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sumiro_build=${SUMIRO_BUILD_DIR:-$sumiro_root/build}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "error: installing packages needs root or sudo: $*" >&2
    return 1
  fi
}

# install_missing [pad]: installs what is missing of both lists, or with "pad" of the first only.
install_missing() {
  local wanted=("${SUMIRO_PAD_PACKAGES[@]}") missing=() pkg
  [ "${1:-}" = pad ] || wanted+=("${SUMIRO_TEST_PACKAGES[@]}")
  for pkg in "${wanted[@]}"; do
    # nodejs from another repository may already bring npm.
    if [ "$pkg" = npm ] && command -v npm >/dev/null 2>&1; then continue; fi
    if [ "$pkg" = nodejs ] && command -v node >/dev/null 2>&1; then continue; fi
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  # Wait for another apt run (a parallel build, unattended upgrades) instead of failing.
  as_root apt-get -o DPkg::Lock::Timeout=600 update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
    --no-install-recommends "${missing[@]}"
}

build() {
  local launcher=()
  # Rebuilds of several checkouts share compiled objects when ccache is there; it is optional.
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$sumiro_root}"
  fi
  cmake -S "$sumiro_root" -B "$sumiro_build" -G Ninja "${launcher[@]}" "$@"
  cmake --build "$sumiro_build" --parallel "$(nproc)"
}
