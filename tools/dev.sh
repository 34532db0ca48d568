#!/usr/bin/env bash
# One-command set-up for a Debian 12 machine.
#   tools/dev.sh run       install what is missing, build (Release), start korvane on the demo disc
#   tools/dev.sh test      install what is missing, build (Release), run the whole test suite
#   tools/dev.sh sanitize  build the tests with ASan+UBSan (build-asan/) and the playback
#                          and other threaded tests (label threads) with TSan (build-tsan/),
#                          and run them
#   tools/dev.sh package   build the Debian package (build/packages/korvane_*.deb), check it
#                          with lintian and run the installed programs from its contents
#   tools/dev.sh fuzz [S]  build the libFuzzer targets of tests/fuzz with clang, ASan and
#                          UBSan (build-fuzz/) and run each for S seconds (default 20) from
#                          its seed corpus; a crash, leak or time-out fails
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(build-essential cmake pkg-config git ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  portaudio19-dev libsqlite3-dev libcli11-dev zlib1g-dev
  libsndfile1-dev libsoxr-dev libdiscid-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils help2man lintian)
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

# ccache keeps rebuilds short; the base directory makes clones in other folders share hits.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
configure_and_build() {  # build-dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
  cmake --build "$dir" -j "$JOBS"
}

run_tests() {  # build-dir, extra ctest args...
  local dir=$1; shift
  (cd "$dir" && QT_QPA_PLATFORM=offscreen KORVANE_AUDIO=null \
     ctest --output-on-failure -j "$JOBS" --timeout 600 "$@")
}

# The main job: the application on the demo disc (or on the machine's own CD drives when
# it has any). Without a display the same road is taken on the command line.
main_job() {
  if ! compgen -G "/sys/block/sr*" >/dev/null; then
    export KORVANE_DISC="${KORVANE_DISC:-demo}"
  fi
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    ./build/bin/korvane
  else
    echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running the command-line flow instead." >&2
    cli_flow
  fi
}

# Drives, tracks, read track 1 into a track file, cut it with the application's first-start
# slicing settings (-36.0 dB, 750 ms) and export every region as numbered WAV files.
cli_flow() {
  local out=korvane-out
  mkdir -p "$out"
  ./build/bin/korvane-cli drives
  ./build/bin/korvane-cli tracks
  ./build/bin/korvane-cli read --track 1 --force -o "$out/track1.trk"
  ./build/bin/korvane-cli export --track-file "$out/track1.trk" --threshold -36 --release 750 \
    --regions all -o "$out/region.wav"
  echo "Written to $out/:"
  ls -l "$out"
}

# Builds only the fuzz targets (clang, ASan+UBSan, coverage instrumentation) and runs
# each from a copy of its seed corpus, with its dictionary when it has one.
run_fuzzers() {  # seconds per target
  local seconds=$1 dir=build-fuzz
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DKORVANE_FUZZ=ON \
    -DKORVANE_SANITIZE=address,undefined -DKORVANE_TESTS=ON -DKORVANE_BENCH=OFF -DKORVANE_GUI=OFF \
    -DKORVANE_PACKAGE=OFF
  cmake --build "$dir" -j "$JOBS" --target korvane_fuzzers
  local target name work dict
  for target in "$dir"/bin/korvane_fuzz_*; do
    name=${target##*/korvane_fuzz_}
    work="$dir/corpus/$name"
    mkdir -p "$work"
    dict=()
    [ -f "tests/fuzz/$name.dict" ] && dict=(-dict="tests/fuzz/$name.dict")
    echo "== fuzzing $name for ${seconds}s"
    UBSAN_OPTIONS=print_stacktrace=1 "$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$dir/crash-$name-" "${dict[@]}" "$work" "tests/fuzz/corpus/$name"
  done
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
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_SANITIZE=address,undefined -DKORVANE_PACKAGE=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" run_tests build-asan
    configure_and_build build-tsan -DKORVANE_TESTS=ON -DKORVANE_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_SANITIZE=thread -DKORVANE_GUI=OFF -DKORVANE_PACKAGE=OFF
    TSAN_OPTIONS=halt_on_error=1 run_tests build-tsan -L 'playback|threads'
    ;;
  package)
    install_packages
    configure_and_build build -DKORVANE_PACKAGE=ON
    rm -rf build/packages
    (cd build && cpack -G DEB)
    deb=$(ls build/packages/korvane_*.deb)
    dpkg-deb --info "$deb"
    # lintian exits non-zero on errors; warnings are shown but do not fail.
    lintian --fail-on error --tag-display-limit 0 "$deb"
    KORVANE_DEB="$PWD/$deb" run_tests build -L packaging
    echo "Package: $deb"
    ;;
  fuzz)
    PACKAGES+=(clang libclang-rt-14-dev)  # the fuzzer runtime is only a recommendation of clang
    install_packages
    run_fuzzers "${2:-20}"
    ;;
  *)
    echo "usage: tools/dev.sh run|test|sanitize|package|fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
