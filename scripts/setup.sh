#!/usr/bin/env bash
# Installs, only where missing, every Debian 12 package that the build, the tests
# and the run need. Runs apt-get update once, and only when something is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config clang-format clang-tidy ccache
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libzydis-dev
  xvfb x11-utils xauth xdotool fonts-liberation2
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 nsis wixl msitools osslsigncode openssl
  wine wine64 wine32:i386 fonts-wine
  nlohmann-json3-dev
  dpkg-dev fakeroot file lintian help2man appstream desktop-file-utils
  dbus dbus-x11 at-spi2-core python3-pyatspi libglib2.0-bin python3-pil
  qemu-system-x86 busybox-static cpio udev xz-utils
  meson libglib2.0-dev libpixman-1-dev libfdt-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # wine32 runs the 32-bit Windows tests and comes from the i386 architecture.
  if [[ " ${missing[*]} " == *":i386 "* ]] &&
     ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
