#!/usr/bin/env bash
# Installs the Debian 12 packages Tandemo needs to build, test, fuzz and benchmark.
# Idempotent: when everything is already installed it only checks and exits.
# Runs apt-get as root, or through sudo for other users.
set -euo pipefail

# Every package the project needs, in one place.
PACKAGES=(
  build-essential
  cmake
  ninja-build
  g++
  clang
  libclang-rt-14-dev
  nlohmann-json3-dev
  libcli11-dev
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  libudev-dev
  qt6-base-dev
  xvfb
  xauth
  pkg-config
  libxkbcommon-dev
  libxkbcommon-x11-dev
  libxcb1-dev
  libxcb-xtest0-dev
  qemu-system-x86
  busybox-static
  cpio
  kmod
  libsystemd-dev
  dbus-daemon
)

missing=()
for package in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  if [[ "$status" != "installed" ]]; then
    missing+=("$package")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "install-deps: missing packages (${missing[*]}) and neither root nor sudo is available" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
