#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks need.
# Idempotent and non-interactive; run as root (or through sudo) on a fresh machine.
set -euo pipefail

packages=(
  # native toolchain and test frameworks
  build-essential cmake ninja-build git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # coverage-guided fuzzing and sanitizer runtimes
  clang libclang-rt-14-dev
  # the formatting check of the sources
  clang-format
  # Windows cross build and its test runner
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64
  # audio files and the command line of tolvane-render; spectra in its automation tests
  libsndfile1-dev libcli11-dev libfftw3-dev
  # third-party VST2 plug-ins that the render tests load
  lsp-plugins-vst dpf-plugins-vst
  # third-party VST3 plug-ins (ZamAutoSat.vst3 and its peers) that the VST3 render tests load
  zam-plugins
  # the editor: NanoVG sources, stb, the OpenGL loader generator, the embedded font,
  # headless OpenGL (EGL, Mesa's software renderer) and a virtual display for Wine
  dpf-source libstb-dev python3-glad fonts-roboto-unhinted
  libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri libx11-dev
  # the Linux editor's tests send input through the X server's test extension
  libxtst-dev
  xvfb xauth x11-utils
  # the artwork generator
  python3-cairo python3-pil
  # the correctly rounded math: its table generator (at build time) and its oracle
  python3-mpmath
  # a real host in the test command: Ardour headless (its Lua session tool and exporter)
  ardour
  # LV2: the format's headers and vocabularies, its command-line hosts (lv2info, lv2apply), jalv
  # and the JACK server it runs under (the dummy driver needs no sound hardware)
  lv2-dev lilv-utils jalv jackd2
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
