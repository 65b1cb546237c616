#!/usr/bin/env bash
# Installs what the project needs on Debian 12, builds it, then runs the
# sniffer or the tests.
#   scripts/setup.sh run     build and start the sniffer (built-in bus simulator)
#   scripts/setup.sh test    build and run every test
#   scripts/setup.sh build   install and build only
#   scripts/setup.sh deps    install the packages only
set -euo pipefail

cd "$(dirname "$0")/.."
what=${1:-build}
build_dir=${KORVEX_BUILD_DIR:-build}
# Extra CMake options, e.g. KORVEX_CMAKE_ARGS="-DKORVEX_SANITIZE=address" (CI's sanitizer builds).
read -r -a extra_cmake_args <<<"${KORVEX_CMAKE_ARGS:-}"

packages=(
    build-essential cmake ninja-build pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5xml5 libqt5test5 qttranslations5-l10n
    libsigrok-dev libglib2.0-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang clang-tidy libclang-rt-14-dev
    fonts-wqy-microhei xvfb xauth
)

install_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra_cmake_args[@]}"
    cmake --build "$build_dir" -j "$(nproc)"
}

install_packages
case "$what" in
run)
    build
    exec "$build_dir/bin/korvex-i2c-sniffer"
    ;;
test)
    build
    cd "$build_dir"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" ${KORVEX_CTEST_ARGS:-}
    ;;
build)
    build
    ;;
deps) ;;
*)
    echo "usage: $0 run|test|build|deps" >&2
    exit 2
    ;;
esac
