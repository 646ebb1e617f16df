#!/usr/bin/env bash
# Installs every Debian package that building, running and testing routereel needs.
# Idempotent: packages already installed are skipped, so a ready machine does nothing.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git clang-14 libclang-rt-14-dev libfuzzer-14-dev
  # Qt
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  qt6-webengine-dev qt6-svg-dev libqt6webenginecore6-bin qt6-qpa-plugins libqt6opengl6-dev
  # Qt's own Chinese catalogue (standard buttons, file dialogs)
  qt6-translations-l10n
  # video: probe library, the export engine, the preview's decoders
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev ffmpeg
  # the preview's sound output; a sound server with a null sink for the tests, parec for the benches;
  # PipeWire's PulseAudio service, which many desktops run, for the same tests
  libpulse-dev pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth dbus-x11 python3
  # a window manager for the window's maximise and restore tests, and the X client library they talk to it with
  openbox libxcb1-dev
  # network namespaces with a veth link for the connectivity tests
  iproute2
  # fonts bundled into the app's resources; a CJK font for the Chinese interface
  fonts-dejavu-core fonts-noto-cjk
  # web map libraries come from the npm registry at build time
  nodejs npm
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
# nodejs/npm may come from outside Debian on some machines: a working npm is enough.
if command -v npm >/dev/null 2>&1; then
  tmp=(); for p in "${missing[@]}"; do [[ $p == nodejs || $p == npm ]] || tmp+=("$p"); done
  missing=("${tmp[@]+"${tmp[@]}"}")
fi

if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
