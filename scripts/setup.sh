#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need.
# Quick when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  libhidapi-dev libudev-dev libsqlite3-dev
  libpq-dev postgresql-15
  libcpp-httplib-dev nlohmann-json3-dev chromium chromium-driver
  libgtest-dev libgmock-dev libbenchmark-dev
  fontconfig fonts-liberation2 fonts-noto-cjk
  xvfb xauth imagemagick
  dpkg-dev fakeroot file lintian desktop-file-utils
  qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
)

# The line page's build and its browser test use npm. Node and npm come with the machine image;
# Debian's would replace them, so they are installed only where none is found.
if ! command -v node > /dev/null || ! command -v npm > /dev/null; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
