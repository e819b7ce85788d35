#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Kestrelcut needs.
# Idempotent: packages already present are skipped; `apt-get update` runs once, only
# when something is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libqt6openglwidgets6 libgl-dev
  libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libswresample-dev libavutil-dev
  libmpv-dev
  libmediainfo0v5
  libgtest-dev
  ffmpeg
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav
  mjpegtools x264 zzuf dvdauthor mkvtoolnix
  qt6-translations-l10n
  desktop-file-utils
  fonts-noto-cjk
  fonts-dejavu-core
  xdg-utils
  time
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

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
