#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Idempotent:
# packages already present are left alone, and apt is not touched at all when
# nothing is missing.
set -euo pipefail

PACKAGES=(
  build-essential   # g++ and make
  cmake
  ninja-build
  pkg-config
  libgtest-dev
  libgmock-dev
  zlib1g-dev        # crc32 of the setup database
  libbenchmark-dev
  libavcodec-dev    # H.264 decoding (client) and encoding through libx264 (simulator)
  libavutil-dev
  libavformat-dev   # MP4 export of downloaded recordings
  ffmpeg            # ffprobe and ffmpeg for the export tests
  poppler-utils     # pdftotext: the tests read the printed log's pages back
  libswscale-dev    # YV12 to RGB conversion
  libx264-dev
  qt6-base-dev      # the desktop client: widgets, OpenGL, printing, D-Bus
  qt6-base-dev-tools
  qt6-multimedia-dev
  qt6-svg-dev       # the skin pictures of the resource library
  libqt6opengl6-dev
  libqt6openglwidgets6
  qt6-qpa-plugins   # offscreen platform for headless tests
  libgl-dev
  libgl1-mesa-dri   # software OpenGL (llvmpipe) under Xvfb
  libglx-mesa0
  libjpeg62-turbo-dev  # JPEG snapshots (6b interface)
  libtiff-dev
  fonts-liberation  # metric-compatible faces for the on-screen texts
  fonts-dejavu-core
  xvfb              # the desktop tests that need a real X display
  xauth
  clang             # the fuzz targets (scripts/fuzz.sh)
  libclang-rt-14-dev  # libFuzzer and clang's sanitizer runtimes (Debian 12's clang is 14)
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
