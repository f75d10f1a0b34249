#!/usr/bin/env bash
# Set-up, build, run and test on Debian 12.
#   ./setup.sh run    install what is missing, build, start the program
#   ./setup.sh test   install what is missing, build, run the whole suite (plain and sanitized)
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)
jobs=$(nproc)

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev libswscale-dev
  libswresample-dev libavdevice-dev libsdl2-dev
  libgtest-dev fonts-noto-cjk
  xvfb xauth ffmpeg
)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

build() {  # build <dir> [cmake args...]
  local dir=$1; shift
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

run_suite() {  # run_suite <dir>
  (cd "$1" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

case "${1:-}" in
  run)
    install_missing
    build build
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      exec xvfb-run -a build/app/quorvel
    fi
    exec build/app/quorvel
    ;;
  test)
    install_missing
    build build
    run_suite build
    # The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
    build build-asan -DQUORVEL_SANITIZE=address,undefined
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS=suppressions="$here/tests/lsan.supp":print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      run_suite build-asan
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
