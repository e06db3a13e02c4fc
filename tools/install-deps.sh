#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Idempotent and quick when everything is present: apt runs only for what is missing.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config make
  # Builds of several work trees share their compiled objects.
  ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  # The 3D benchmark draws the same meshes with Mesa's llvmpipe through OSMesa, side by side.
  libosmesa6-dev
  libsdl2-dev
  # The sound mixer's benchmark measures itself against SDL_mixer.
  libsdl2-mixer-dev
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-dejavu-core
  zlib1g-dev libpng-dev libjpeg62-turbo-dev
  libogg-dev libvorbis-dev libtheora-dev libmpg123-dev
  # The media graph splits and decodes other media files with FFmpeg's libraries.
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libgtk-3-dev
  # The sound tests check our decoders against libsndfile's and make their
  # MP3 files with LAME; neither is linked into the library.
  libsndfile1-dev libmp3lame-dev
  # The movie benchmark compares our frame conversion with libyuv's.
  libyuv-dev
  # The .x reader's benchmark loads the same file with Assimp beside it.
  libassimp-dev
  xvfb xauth xdotool x11-apps x11-utils imagemagick
  # `make fuzz` drives the loaders' fuzz targets with AFL++.
  afl++
  # SDL's message box on X11 draws with core X fonts; the Japanese texts need
  # Japanese core fonts, or the box fails to open and answers at once.
  xfonts-base xfonts-intl-japanese
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
