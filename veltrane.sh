#!/usr/bin/env bash
# Veltrane's developer commands. Run as root on Debian 12; each command installs
# what it lacks first.
#
#   ./veltrane.sh run         build the program and start it under Wine on a
#                             generated sample game folder (needs a display)
#   ./veltrane.sh test        build native (plain and sanitized), Windows i686 and
#                             x86-64; run every test
#   ./veltrane.sh screenshot  redo docs/screenshot.png under Xvfb
#   ./veltrane.sh bench       speed: the core, veltrane-cli on a million records,
#                             and the window under Wine and Xvfb
#   ./veltrane.sh fuzz [SECONDS|RUNSx]  open-ended fuzzing of each target for SECONDS
#                             (600) or RUNS executions; a finding lands in fuzz/corpus
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=${VELTRANE_BUILD:-$ROOT/build}
JOBS=$(nproc 2>/dev/null || echo 2)

say() { printf '\n== %s\n' "$*"; }

# ---- packages -------------------------------------------------------------

RUN_PACKAGES=(cmake ninja-build g++ libxlsxwriter-dev g++-mingw-w64-i686 libz-mingw-w64-dev
              wine wine64 wine32:i386 fonts-liberation)
BENCH_PACKAGES=(libbenchmark-dev time)
SCREENSHOT_PACKAGES=(xvfb xauth xdotool imagemagick fonts-liberation)
BUILD_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libxlsxwriter-dev python3-openpyxl
                g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
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

# ---- libxlsxwriter's sources for the Windows builds -------------------------

# Debian ships libxlsxwriter for Linux only; the Windows builds compile Debian's
# source package of it with the MinGW toolchain. It is fetched with apt's own
# verification, through a private source list that leaves the system's alone.
XLSXWRITER_VERSION=1.1.4
XLSXWRITER_SOURCE=$BUILD/deps/libxlsxwriter-RELEASE_$XLSXWRITER_VERSION

fetch_xlsxwriter_source() {
    [ -f "$XLSXWRITER_SOURCE/CMakeLists.txt" ] && return 0
    say "Fetching Debian's source package of libxlsxwriter"
    local state=$BUILD/deps/apt
    mkdir -p "$state/parts" "$state/lists/partial"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$state/parts/src.sources"
    local options=(-o Dir::Etc::SourceParts="$state/parts" -o Dir::Etc::SourceList=/dev/null
                   -o Dir::State::Lists="$state/lists")
    apt-get "${options[@]}" update -qq
    (cd "$BUILD/deps" && apt-get "${options[@]}" source --download-only -qq libxlsxwriter >/dev/null 2>&1)
    tar -xzf "$BUILD/deps/libxlsxwriter_$XLSXWRITER_VERSION.orig.tar.gz" -C "$BUILD/deps"
    [ -f "$XLSXWRITER_SOURCE/CMakeLists.txt" ] || { echo "libxlsxwriter's sources did not unpack" >&2; exit 1; }
}

windows_build() {  # name toolchain [cmake options...]
    local name=$1 toolchain=$2
    shift 2
    fetch_xlsxwriter_source
    configure_and_build "$name" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake" \
        -DVELTRANE_XLSXWRITER_SOURCE="$XLSXWRITER_SOURCE" -DVELTRANE_WINE="$WINE" "$@"
}

# ---- builds ---------------------------------------------------------------

configure_and_build() {  # name [cmake options...]
    local name=$1
    shift
    say "Building $name"
    cmake -S "$ROOT" -B "$BUILD/$name" -G Ninja --no-warn-unused-cli "$@" >/dev/null
    cmake --build "$BUILD/$name" -j "$JOBS"
}

build_all() {
    configure_and_build native
    configure_and_build sanitize -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELTRANE_SANITIZE=ON
    build_fuzz_targets
    windows_build i686 mingw-i686
    windows_build x86_64 mingw-x86_64
}

# ---- fuzzing ---------------------------------------------------------------

# target name, its corpus folder, the executions of its bounded replay (about a
# minute each on a 2-core machine) and its longest input. The master file's
# records are read and checked one by one, so three and a bit of them reach
# every path; longer inputs only make each run slower.
FUZZ_TARGETS=("master_reader master 1500000 300" "settings settings 250000 4096" "year year 15000000 64")

build_fuzz_targets() {
    configure_and_build fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DVELTRANE_FUZZ=ON -DVELTRANE_TESTS=OFF
}

# Each target replays its corpus, then runs a fixed number of executions from a
# fixed seed: the same inputs every time, so the result never depends on luck.
run_fuzz_replays() {
    local entry target corpus runs work failed=()
    for entry in "${FUZZ_TARGETS[@]}"; do
        read -r target corpus runs longest <<<"$entry"
        say "Fuzzing $target: corpus, then $runs runs from seed 1"
        work=$BUILD/fuzz/work/$target
        rm -rf "$work"
        mkdir -p "$work" "$BUILD/fuzz/findings"
        if ! "$BUILD/fuzz/bin/${target}_fuzz" -seed=1 -runs="$runs" -max_len="$longest" -print_final_stats=1 \
            -artifact_prefix="$BUILD/fuzz/findings/" "$work" "$ROOT/fuzz/corpus/$corpus" 2>"$work.log"; then
            tail -n 30 "$work.log"
            failed+=("$target")
        fi
        grep -E 'stat::(number_of_executed_units|average_exec_per_sec)' "$work.log" || true
    done
    if [ ${#failed[@]} -gt 0 ]; then
        say "Fuzz findings in: ${failed[*]} (inputs in $BUILD/fuzz/findings)"
        return 1
    fi
}

# ./veltrane.sh fuzz [SECONDS | RUNSx]: each target for SECONDS (default 600),
# or until it has made RUNS executions ("10000000x").
command_fuzz() {
    local bound=${1:-600} limit
    case "$bound" in
        *x) limit=(-runs="${bound%x}") ;;
        *) limit=(-max_total_time="$bound") ;;
    esac
    install_packages "${BUILD_PACKAGES[@]}"
    configure_and_build native
    build_fuzz_targets
    local entry target corpus runs longest work
    for entry in "${FUZZ_TARGETS[@]}"; do
        read -r target corpus runs longest <<<"$entry"
        say "Fuzzing $target (${limit[*]})"
        work=$BUILD/fuzz/work/$target-open
        mkdir -p "$work"
        # New coverage stays in the work folder; a crash or failed check is
        # written into the corpus, where every test run will replay it.
        "$BUILD/fuzz/bin/${target}_fuzz" "${limit[@]}" -max_len="$longest" -print_final_stats=1 \
            -artifact_prefix="$ROOT/fuzz/corpus/$corpus/" "$work" "$ROOT/fuzz/corpus/$corpus" 2>"$work.log" || true
        grep -E 'stat::(number_of_executed_units|average_exec_per_sec)|ERROR|SUMMARY' "$work.log" || true
    done
}

# ---- Wine and a private X display -----------------------------------------

# Wine's own launcher starts every program through its 32-bit loader. Some
# kernels run 64-bit code only (an i386 exec is refused): there only the
# 64-bit loader works, and only 64-bit Windows programs can run.
WINE=wine
RUNS_32BIT=yes
choose_wine() {
    if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 \
        && [ -x /usr/lib/wine/wine64 ]; then
        WINE=/usr/lib/wine/wine64
        RUNS_32BIT=no
        export WINELOADER=$WINE
    fi
}
wine() { "$WINE" "$@"; }

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

# The sample game folder: a generated master file, and a galvorfolder.txt
# beside it naming that folder as Wine sees it.
SAMPLE=$BUILD/sample

make_sample() {
    say "Making the sample game folder"
    mkdir -p "$SAMPLE/Galvor"
    "$BUILD/native/bin/make-master" --out "$SAMPLE/Galvor/mastplyr.dat"
    printf '%s\r\n' "$(winepath -w "$SAMPLE/Galvor" 2>/dev/null)" > "$SAMPLE/galvorfolder.txt"
}

# Wine has no Courier or Courier New of its own; without a fixed-pitch
# stand-in the listing's columns would not line up as they do on Windows.
use_fixed_pitch_stand_ins() {
    local face
    for face in "Courier" "Courier New"; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "Liberation Mono" /f \
            </dev/null >/dev/null 2>&1
    done
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
    choose_wine
    build_all
    trap stop_display_and_wine EXIT
    start_display
    start_wine
    local result=0 windows=(i686 x86_64)
    if [ "$RUNS_32BIT" = no ]; then
        say "WARNING: this machine's kernel runs 64-bit programs only (it refuses to start 32-bit ones)," \
            "so the i686 build is built but its tests cannot run here; the x86-64 build's tests run instead."
        windows=(x86_64)
    fi
    run_tests native sanitize "${windows[@]}" || result=1
    run_fuzz_replays || result=1
    [ $result -eq 0 ] || exit 1
    say "All tests passed"
}

command_run() {
    install_packages "${RUN_PACKAGES[@]}"
    if [ -z "${DISPLAY:-}" ]; then
        echo "Veltrane is a window: run this from a desktop session (DISPLAY is not set)." >&2
        exit 1
    fi
    configure_and_build native
    windows_build i686 mingw-i686
    # A prefix of its own, left as Wine makes it, so a window manager manages the window.
    export WINEPREFIX=$BUILD/wineprefix-run WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    use_fixed_pitch_stand_ins
    make_sample
    say "Starting Veltrane: type the years and press Process"
    cd "$SAMPLE"
    exec wine "$BUILD/i686/bin/Veltrane_V10.exe"
}

command_screenshot() {
    install_packages "${BUILD_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}"
    configure_and_build native
    windows_build i686 mingw-i686
    trap stop_display_and_wine EXIT
    start_display
    start_wine
    use_fixed_pitch_stand_ins
    make_sample
    (cd "$SAMPLE" && wine "$BUILD/i686/bin/Veltrane_V10.exe" </dev/null >/dev/null 2>&1 &)
    local window
    window=$(xdotool search --sync --name 'Veltrane V10' | head -n 1)
    sleep 1
    xdotool windowfocus --sync "$window"
    # Typed as a person would: the focus starts in First Year.
    xdotool type --delay 50 "1871"
    xdotool key Tab
    xdotool type --delay 50 "$(date +%Y)"
    xdotool key alt+p
    sleep 8
    mkdir -p "$ROOT/docs"
    import -window "$window" "$ROOT/docs/screenshot.png"
    xdotool key alt+x
    say "Wrote docs/screenshot.png"
}

# timed ROUNDS COMMAND...: runs it ROUNDS times (stdout as given) and keeps the
# best wall time in BEST_SECONDS and the peak memory of that round in BEST_KILOBYTES.
timed() {
    local rounds=$1 round seconds kilobytes measure
    shift
    measure=$(mktemp)
    BEST_SECONDS=
    for ((round = 0; round < rounds; round++)); do
        /usr/bin/time -f "%e %M" -o "$measure" "$@"
        read -r seconds kilobytes < "$measure"
        if [ -z "$BEST_SECONDS" ] || awk -v a="$seconds" -v b="$BEST_SECONDS" 'BEGIN { exit !(a < b) }'; then
            BEST_SECONDS=$seconds
            BEST_KILOBYTES=$kilobytes
        fi
    done
    rm -f "$measure"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
print_peak() {  # label seconds kilobytes file-size
    printf '  %s: %s s, peak memory %d MB = %s x the master file\n' "$1" "$2" $(($3 / 1024)) \
        "$(awk -v k="$3" -v s="$4" 'BEGIN { printf "%.2f", k * 1024 / s }')"
}

command_bench() {
    install_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    choose_wine
    configure_and_build bench -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF
    # The product is 32-bit; where the kernel runs 64-bit programs only, the
    # x86-64 build stands in for it.
    local windows=i686 toolchain=mingw-i686
    if [ "$RUNS_32BIT" = no ]; then
        windows=x86_64 toolchain=mingw-x86_64
    fi
    windows_build "bench-$windows" "$toolchain" -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF
    say "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"

    say "Core (Google Benchmark)"
    "$BUILD/bench/bin/core_benchmark"

    say "Workbook export against libxlsxwriter alone"
    "$BUILD/bench/bin/workbook_benchmark"

    local scratch
    scratch=$(mktemp -d)
    mkdir -p "$scratch/made-up" "$scratch/repeated"
    "$BUILD/bench/bin/make-master" --out "$scratch/made-up/mastplyr.dat" --records 1000000 --last-season 2024
    "$BUILD/bench/bin/make-master" --out "$scratch/repeated/mastplyr.dat" --records 1000000 --last-season 2024 \
        --repeated-names
    local cli=("$BUILD/bench/bin/veltrane-cli" --first 1871 --last 2024 --force)

    say "veltrane-cli on 1,000,000 records, all seasons, with --csv, against GNU sort (LC_ALL=C) of its lines"
    local game order size ours theirs
    for game in made-up repeated; do
        size=$(stat -c %s "$scratch/$game/mastplyr.dat")
        for order in uid name; do
            timed 3 "${cli[@]}" --folder "$scratch/$game" --order "$order" --csv "$scratch/out.csv" \
                >"$scratch/listing"
            ours=$BEST_SECONDS
            print_peak "$game, $order order" "$ours" "$BEST_KILOBYTES" "$size"
            sed '1d;$d' "$scratch/listing" > "$scratch/lines"
            timed 3 env LC_ALL=C sort "$scratch/lines" >/dev/null
            theirs=$BEST_SECONDS
            printf '    GNU sort %s s: ours is %s x\n' "$theirs" "$(ratio "$ours" "$theirs")"
        done
    done

    say "The workbook's memory: the same run with --csv and --xlsx, against --csv alone"
    size=$(stat -c %s "$scratch/made-up/mastplyr.dat")
    timed 3 "${cli[@]}" --folder "$scratch/made-up" --order uid --csv "$scratch/out.csv" >/dev/null
    local csv_only=$BEST_KILOBYTES
    print_peak "--csv" "$BEST_SECONDS" "$BEST_KILOBYTES" "$size"
    timed 3 "${cli[@]}" --folder "$scratch/made-up" --order uid --csv "$scratch/out.csv" \
        --xlsx "$scratch/out.xlsx" >/dev/null
    print_peak "--csv --xlsx" "$BEST_SECONDS" "$BEST_KILOBYTES" "$size"
    printf '    peak memory with the workbook: %s x without\n' "$(ratio "$BEST_KILOBYTES" "$csv_only")"
    rm -rf "$scratch"

    say "The window under Wine and Xvfb ($windows build)"
    trap stop_display_and_wine EXIT
    start_display
    start_wine
    wine "$BUILD/bench-$windows/bin/window_benchmark.exe"
    say "The workbook export under Wine ($windows build)"
    wine "$BUILD/bench-$windows/bin/workbook_benchmark.exe"
}

usage() {
    sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
}

case "${1:-}" in
    run) command_run ;;
    test) command_test ;;
    screenshot) command_screenshot ;;
    bench) command_bench ;;
    fuzz) shift; command_fuzz "$@" ;;
    *) usage ;;
esac
