#!/usr/bin/env bash
# Veltrane's developer commands. Run as root on Debian 12; each command installs
# what it lacks first.
#
#   ./veltrane.sh test    build native (plain and sanitized), Windows i686 and x86-64;
#                         run every test
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=${VELTRANE_BUILD:-$ROOT/build}
JOBS=$(nproc 2>/dev/null || echo 2)

say() { printf '\n== %s\n' "$*"; }

# ---- packages -------------------------------------------------------------

BUILD_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev googletest
                g++-mingw-w64-i686 g++-mingw-w64-x86-64
                wine wine64 wine32:i386 xvfb xauth)

missing_packages() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || echo "$package"
    done
}

install_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    say "Installing:" $missing
    if [ "$(id -u)" != 0 ]; then
        echo "These Debian packages are needed: $missing (run as root to install them)" >&2
        exit 1
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# ---- builds ---------------------------------------------------------------

configure_and_build() {  # name [cmake options...]
    local name=$1
    shift
    say "Building $name"
    cmake -S "$ROOT" -B "$BUILD/$name" -G Ninja "$@" >/dev/null
    cmake --build "$BUILD/$name" -j "$JOBS"
}

build_all() {
    configure_and_build native
    configure_and_build sanitize -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELTRANE_SANITIZE=ON
    configure_and_build i686 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake"
    configure_and_build x86_64 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake"
}

# ---- Wine and a private X display -----------------------------------------

XVFB_PID=

stop_display_and_wine() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
    fi
}

start_display() {
    local display=91
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    local waited=0
    until [ -e "/tmp/.X11-unix/X$display" ]; do
        sleep 0.1
        waited=$((waited + 1))
        if [ $waited -gt 100 ]; then
            echo "Xvfb did not start" >&2
            exit 1
        fi
    done
    export DISPLAY=":$display"
}

# The server must start outside any pipe that ctest reads, or ctest waits on it.
start_wine() {
    export WINEPREFIX=$BUILD/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "Creating the Wine prefix"
        mkdir -p "$WINEPREFIX"
        wine cmd /c exit </dev/null >/dev/null 2>&1
        # Without a window manager, hiding a managed window waits two seconds.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        wineserver -w
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
}

# ---- commands -------------------------------------------------------------

run_tests() {  # build name...
    local failed=()
    local name
    for name in "$@"; do
        say "Testing $name"
        if ! (cd "$BUILD/$name" && ctest --output-on-failure --timeout 600); then
            failed+=("$name")
        fi
    done
    if [ ${#failed[@]} -gt 0 ]; then
        say "FAILED: ${failed[*]}"
        return 1
    fi
}

command_test() {
    install_packages "${BUILD_PACKAGES[@]}"
    build_all
    trap stop_display_and_wine EXIT
    start_display
    start_wine
    run_tests native sanitize i686 x86_64
    say "All tests passed"
}

usage() {
    sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
}

case "${1:-}" in
    test) command_test ;;
    *) usage ;;
esac
