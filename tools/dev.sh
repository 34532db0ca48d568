#!/usr/bin/env bash
# One-command set-up for a Debian 12 machine.
#   tools/dev.sh run       install what is missing, build (Release), run the main job
#   tools/dev.sh test      install what is missing, build (Release), run the whole test suite
#   tools/dev.sh sanitize  build the tests with ASan+UBSan (build-asan/) and the playback
#                          tests with TSan (build-tsan/), and run them
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  portaudio19-dev libsqlite3-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth)
JOBS=$(nproc)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

configure_and_build() {  # build-dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@"
  cmake --build "$dir" -j "$JOBS"
}

run_tests() {  # build-dir, extra ctest args...
  local dir=$1; shift
  (cd "$dir" && QT_QPA_PLATFORM=offscreen KORVANE_AUDIO=null \
     ctest --output-on-failure -j "$JOBS" --timeout 600 "$@")
}

main_job() {
  ./build/bin/korvane-cli slice --demo
}

case "${1:-}" in
  run)
    install_packages
    configure_and_build build -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF
    main_job
    ;;
  test)
    install_packages
    configure_and_build build -DKORVANE_TESTS=ON -DKORVANE_BENCH=ON
    run_tests build
    ;;
  sanitize)
    install_packages
    configure_and_build build-asan -DKORVANE_TESTS=ON -DKORVANE_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_SANITIZE=address,undefined
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-asan
    configure_and_build build-tsan -DKORVANE_TESTS=ON -DKORVANE_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_SANITIZE=thread -DKORVANE_GUI=OFF
    TSAN_OPTIONS=halt_on_error=1 run_tests build-tsan -L playback
    ;;
  *)
    echo "usage: tools/dev.sh run|test|sanitize" >&2
    exit 2
    ;;
esac
