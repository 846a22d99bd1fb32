#!/usr/bin/env bash
# Veltrane's developer commands. Run as root on Debian 12; each command installs
# what it lacks first.
#
#   ./veltrane.sh run         build the program and start it under Wine on a
#                             generated sample game folder; without a display,
#                             show the sample's listing from veltrane-cli
#   ./veltrane.sh test        build native (plain and sanitized), Windows i686 and
#                             x86-64; run every test
#   ./veltrane.sh screenshot  redo docs/screenshot.png under Xvfb
#   ./veltrane.sh bench       speed: the core, veltrane-cli on a million records,
#                             and the window under Wine and Xvfb
#   ./veltrane.sh fuzz [SECONDS|RUNSx]  open-ended fuzzing of each target for SECONDS
#                             (600) or RUNS executions; a finding lands in fuzz/corpus
#   ./veltrane.sh dist [--check]  the release zips in dist/; --check builds them
#                             twice from clean clones and compares them
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=${VELTRANE_BUILD:-$ROOT/build}
JOBS=$(nproc 2>/dev/null || echo 2)

say() { printf '\n== %s\n' "$*"; }

# ---- packages -------------------------------------------------------------

NATIVE_PACKAGES=(cmake ninja-build g++ libxlsxwriter-dev)
WINDOWS_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev)
RUN_PACKAGES=("${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" wine wine64 fonts-liberation)
DIST_PACKAGES=(cmake ninja-build git python3 "${WINDOWS_PACKAGES[@]}")
BENCH_PACKAGES=(libbenchmark-dev time)
SCREENSHOT_PACKAGES=(xvfb xauth xdotool imagemagick)
FUZZ_PACKAGES=(cmake ninja-build clang libclang-rt-14-dev libxlsxwriter-dev)
BUILD_PACKAGES=("${NATIVE_PACKAGES[@]}" clang libclang-rt-14-dev googletest python3-openpyxl
                "${WINDOWS_PACKAGES[@]}" wine wine64 xvfb xauth)

missing_packages() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || echo "$package"
    done
}

# A mirror in the middle of a sync fails an index now and then: try again, and
# in the end go on with what apt has (an install that then fails stops us).
apt_update() {  # [apt options...]
    local attempt
    for attempt in 1 2 3; do
        apt-get "$@" update -qq && return 0
        sleep 10
    done
    echo "WARNING: apt could not refresh every package index; going on with the ones it has" >&2
}

need_root() {  # packages...
    if [ "$(id -u)" != 0 ]; then
        echo "These Debian packages are needed: $* (run as root to install them)" >&2
        exit 1
    fi
}

install_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    say "Installing:" $missing
    # shellcheck disable=SC2086
    need_root $missing
    export DEBIAN_FRONTEND=noninteractive
    apt_update
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# Wine runs the 32-bit (i686) programs only with wine32:i386, and only where
# the kernel starts i386 programs at all: some run 64-bit code only. So the
# kernel is asked first, by starting one; only where it runs is the i386
# architecture added and wine32 installed, on its own, so that a broken i386
# index (a mirror mid-sync) costs only the 32-bit runs. Sets KERNEL_RUNS_I386,
# and I686_RUNS where the i686 programs can run here.
KERNEL_RUNS_I386=no
I686_RUNS=no
install_wine32() {
    local status=0
    "$ROOT/cmake/kernel-runs-i386.sh" "$BUILD/probe" || status=$?
    case $status in
        0) KERNEL_RUNS_I386=yes ;;
        1) return 0 ;;
        *) exit 1 ;;
    esac
    if [ -z "$(missing_packages wine32:i386)" ]; then
        I686_RUNS=yes
        return 0
    fi
    say "Installing: wine32:i386"
    need_root wine32:i386
    local added=no output
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        added=yes
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt_update
    if output=$(apt-get install -y -qq --no-install-recommends wine32:i386 2>&1); then
        I686_RUNS=yes
        return 0
    fi
    {
        echo "WARNING: wine32:i386 could not be installed, so the 32-bit programs cannot run here;"
        echo "going on as on a kernel that runs 64-bit programs only. apt said:"
        grep -E '^E:|Depends:|^ ' <<<"$output" | sed 's/^/    /' | tail -n 12
    } >&2
    if [ $added = yes ] && ! dpkg --remove-architecture i386 2>/dev/null; then
        echo "WARNING: the i386 architecture this command added could not be removed again" >&2
    fi
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
    apt_update "${options[@]}"
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

# What we build and test is held to no warnings at all.
build_all() {
    configure_and_build native -DVELTRANE_WERROR=ON
    configure_and_build sanitize -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELTRANE_SANITIZE=ON \
        -DVELTRANE_WERROR=ON
    build_fuzz_targets
    windows_build i686 mingw-i686 -DVELTRANE_WERROR=ON
    windows_build x86_64 mingw-x86_64 -DVELTRANE_WERROR=ON
}

# ---- fuzzing ---------------------------------------------------------------

# target name, its corpus folder, the executions of its bounded replay (about a
# minute each on a 2-core machine) and its longest input. The master file's
# records are read and checked one by one, so three and a bit of them reach
# every path; longer inputs only make each run slower.
FUZZ_TARGETS=("master_reader master 1500000 300" "settings settings 250000 4096" "year year 15000000 64")

build_fuzz_targets() {
    configure_and_build fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DVELTRANE_FUZZ=ON -DVELTRANE_TESTS=OFF -DVELTRANE_WERROR=ON
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
    install_packages "${FUZZ_PACKAGES[@]}"
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

# The Wine launcher. Wine's own starts programs through its 32-bit loader;
# where the kernel starts no i386 program, only its 64-bit loader works (and
# runs only 64-bit programs). After install_wine32.
WINE=wine
choose_wine() {
    if [ "$KERNEL_RUNS_I386" = no ]; then
        WINE=/usr/lib/wine/wine64
        export WINELOADER=$WINE
    fi
}

# After the packages: wine32 where it can serve, the launcher, and which
# Windows build runs here (WINDOWS_RUNNABLE): the product (i686), or the x86-64
# build standing in for it where 32-bit programs cannot run.
WINDOWS_RUNNABLE=i686
prepare_wine() {
    install_wine32
    choose_wine
    if [ "$I686_RUNS" = no ]; then
        WINDOWS_RUNNABLE=x86_64
        local why="this machine's kernel runs 64-bit programs only (it refuses to start 32-bit ones)"
        [ "$KERNEL_RUNS_I386" = yes ] && why="wine32:i386 is not installed"
        say "WARNING: $why, so the i686 build is built but cannot run here; the x86-64 build stands in for it."
    fi
}

# What a command started, stopped when it ends however it ends; nothing else.
STARTED_XVFB_PIDS=()
STARTED_WINE_PREFIX=
stop_what_we_started() {
    if [ -n "$STARTED_WINE_PREFIX" ]; then
        WINEPREFIX=$STARTED_WINE_PREFIX wineserver -k >/dev/null 2>&1 || true
    fi
    local pid
    for pid in "${STARTED_XVFB_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
}
trap stop_what_we_started EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A private X server on a display number it picks itself (-displayfd), so no
# other server on the machine, whether its files are seen here or not, is in
# its way.
start_display() {
    local number_file waited=0
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    local pid=$!
    STARTED_XVFB_PIDS+=("$pid")
    until grep -q '^[0-9][0-9]*$' "$number_file"; do
        if ! kill -0 "$pid" 2>/dev/null || [ $waited -gt 150 ]; then
            echo "Xvfb did not start" >&2
            exit 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    export DISPLAY=":$(cat "$number_file")"
    rm -f "$number_file"
}

# X servers that hold the first free display numbers but whose socket and lock
# files are gone: how servers in other roots or containers look from here. The
# test command starts its own display beside them, proving it always can.
hide_some_displays() {
    local number=0 waited pid
    local hidden=0
    while [ $hidden -lt 2 ] && [ $number -lt 32 ]; do
        if [ ! -e "/tmp/.X$number-lock" ] && [ ! -e "/tmp/.X11-unix/X$number" ]; then
            Xvfb ":$number" -nolisten tcp >/dev/null 2>&1 &
            pid=$!
            STARTED_XVFB_PIDS+=("$pid")
            waited=0
            while kill -0 "$pid" 2>/dev/null && [ ! -e "/tmp/.X11-unix/X$number" ] && [ $waited -lt 100 ]; do
                sleep 0.1
                waited=$((waited + 1))
            done
            if [ -e "/tmp/.X11-unix/X$number" ]; then
                rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
                hidden=$((hidden + 1))
                say "Display :$number is held by an X server whose files are hidden"
            else
                kill "$pid" 2>/dev/null || true
            fi
        fi
        number=$((number + 1))
    done
}

# Wine has no Courier or Courier New of its own; without a fixed-pitch
# stand-in the listing's columns would not line up as they do on Windows.
use_fixed_pitch_stand_ins() {
    local face
    for face in "Courier" "Courier New"; do
        "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "Liberation Mono" /f \
            </dev/null >/dev/null 2>&1
    done
}

# start_wine PREFIX: the server must start outside any pipe that ctest reads,
# or ctest waits on it. A server already running for the prefix serves as well,
# and is left running.
start_wine() {
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "Creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        STARTED_WINE_PREFIX=$WINEPREFIX
        "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
        # Without a window manager, hiding a managed window waits two seconds.
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        wineserver -w
    fi
    local status=0
    wineserver -p </dev/null >/dev/null 2>&1 || status=$?
    case $status in
        0) STARTED_WINE_PREFIX=$WINEPREFIX ;;
        2) STARTED_WINE_PREFIX= ;;
        *) echo "wineserver did not start (status $status)" >&2; exit 1 ;;
    esac
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
}

# The sample, kept as a Windows player keeps it: the game's folder
# C:\Games\Galvor in the prefix's C: drive, and Veltrane in C:\Games\Veltrane
# with the galvorfolder.txt that names the game's folder. Sets SAMPLE_PROGRAMS
# to Veltrane's folder.
GAME_FOLDER='C:\Games\Galvor'
make_sample_in_prefix() {  # native-build windows-build
    say "Making the sample game folder $GAME_FOLDER"
    local games=$WINEPREFIX/drive_c/Games
    mkdir -p "$games/Galvor" "$games/Veltrane"
    "$BUILD/$1/bin/make-master" --out "$games/Galvor/mastplyr.dat"
    local seen
    seen=$("$WINE" winepath.exe -u "$GAME_FOLDER" 2>/dev/null | tr -d '\r') || true
    if [ "$(realpath -m "$seen" 2>/dev/null)" != "$(realpath "$games/Galvor")" ]; then
        echo "Wine does not see the sample game folder as $GAME_FOLDER (it gave \"$seen\")" >&2
        exit 1
    fi
    printf '%s\r\n' "$GAME_FOLDER" > "$games/Veltrane/galvorfolder.txt"
    cp "$BUILD/$2/bin/Veltrane_V10.exe" "$BUILD/$2/bin/veltrane-cli.exe" "$games/Veltrane/"
    SAMPLE_PROGRAMS=$games/Veltrane
}

# wait_for_window NAME: the window's X id, or a clear failure after a minute.
wait_for_window() {
    local window
    if ! window=$(timeout 60 xdotool search --sync --name "$1" | head -n 1) || [ -z "$window" ]; then
        echo "The window \"$1\" did not appear within a minute" >&2
        exit 1
    fi
    echo "$window"
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
    prepare_wine
    build_all
    hide_some_displays
    start_display
    say "The tests' own display is $DISPLAY"
    start_wine "$BUILD/wineprefix"
    local result=0 windows=(i686 x86_64)
    [ "$WINDOWS_RUNNABLE" = i686 ] || windows=(x86_64)
    run_tests native sanitize "${windows[@]}" || result=1
    run_fuzz_replays || result=1
    [ $result -eq 0 ] || exit 1
    say "All tests passed"
}

# The Windows build the window runs from, WINDOWS_BUILD: the product (i686),
# or x86-64 where 32-bit programs cannot run.
build_window_program() {  # build-name-prefix [cmake options...]
    local prefix=$1
    shift
    prepare_wine
    WINDOWS_BUILD=$prefix-$WINDOWS_RUNNABLE
    windows_build "$WINDOWS_BUILD" "mingw-$WINDOWS_RUNNABLE" "$@"
}

# With a display: the window under Wine on the sample. Without one: the same
# run through veltrane-cli, natively. Builds no tests, in folders of its own.
command_run() {
    if [ -z "${DISPLAY:-}" ]; then
        install_packages "${NATIVE_PACKAGES[@]}"
        configure_and_build run-native -DVELTRANE_TESTS=OFF
        local sample=$BUILD/run-sample
        mkdir -p "$sample/Galvor"
        "$BUILD/run-native/bin/make-master" --out "$sample/Galvor/mastplyr.dat"
        say "No display found (DISPLAY is not set), so here is the sample through veltrane-cli:" \
            "every season from 1871 to $(date +%Y), first 20 lines, then the count"
        local listing=$sample/listing.txt
        "$BUILD/run-native/bin/veltrane-cli" --folder "$sample/Galvor" --first 1871 --last "$(date +%Y)" \
            > "$listing"
        head -n 20 "$listing"
        echo "..."
        tail -n 1 "$listing"
        say "To see the window, run ./veltrane.sh run in a desktop session, or ./veltrane.sh screenshot" \
            "for a picture of it (docs/screenshot.png)."
        return 0
    fi
    install_packages "${RUN_PACKAGES[@]}"
    configure_and_build run-native -DVELTRANE_TESTS=OFF
    build_window_program run -DVELTRANE_TESTS=OFF
    # A prefix of its own, left as Wine makes it, so a window manager manages the window.
    export WINEPREFIX=$BUILD/wineprefix-run WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    use_fixed_pitch_stand_ins
    make_sample_in_prefix run-native "$WINDOWS_BUILD"
    say "Starting Veltrane from C:\\Games\\Veltrane: type the years and press Process"
    cd "$SAMPLE_PROGRAMS"
    exec "$WINE" Veltrane_V10.exe
}

command_screenshot() {
    install_packages "${RUN_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}"
    configure_and_build run-native -DVELTRANE_TESTS=OFF
    build_window_program run -DVELTRANE_TESTS=OFF
    start_display
    # Its own prefix: the font stand-ins stay out of the one the tests use.
    start_wine "$BUILD/wineprefix-screenshot"
    use_fixed_pitch_stand_ins
    make_sample_in_prefix run-native "$WINDOWS_BUILD"
    (cd "$SAMPLE_PROGRAMS" && "$WINE" Veltrane_V10.exe </dev/null >/dev/null 2>&1 &)
    local window
    window=$(wait_for_window 'Veltrane V10')
    sleep 1
    timeout 30 xdotool windowfocus --sync "$window"
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
    prepare_wine
    configure_and_build bench -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF
    local windows=$WINDOWS_RUNNABLE toolchain=mingw-$WINDOWS_RUNNABLE
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
    start_display
    start_wine "$BUILD/wineprefix"
    "$WINE" "$BUILD/bench-$windows/bin/window_benchmark.exe"
    say "The workbook export under Wine ($windows build)"
    "$WINE" "$BUILD/bench-$windows/bin/workbook_benchmark.exe"
}

# ---- the release ----------------------------------------------------------

# build name, toolchain, and the zip's name for it
DIST_BUILDS=("i686 mingw-i686 x86" "x86_64 mingw-x86_64 x64")
DIST_FILES=(Veltrane_V10.exe veltrane-cli.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)

project_version() {
    sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt"
}

crlf() { sed 's/\r$//; s/$/\r/'; }

# The notice: ours, then each library's license as its Debian package gives it.
write_notices() {  # build-name
    local package=mingw-w64-${1//_/-}-dev entry title file
    {
        sed "s/@VERSION@/$(project_version)/" "$ROOT/release/THIRD-PARTY-NOTICES.txt"
        for entry in "MinGW-w64 runtime and winpthreads ($package)|/usr/share/doc/$package/copyright" \
            "GCC runtime libraries, libgcc and libstdc++ (gcc-mingw-w64-base)|/usr/share/doc/gcc-mingw-w64-base/copyright" \
            "zlib (libz-mingw-w64-dev)|/usr/share/doc/libz-mingw-w64-dev/copyright" \
            "libxlsxwriter $XLSXWRITER_VERSION (License.txt of its sources)|$XLSXWRITER_SOURCE/License.txt"; do
            title=${entry%%|*}
            file=${entry#*|}
            printf '\n\n======================================================================\n%s\n' "$title"
            printf '======================================================================\n\n'
            cat "$file"
        done
    } | crlf
}

command_dist() {
    if [ "${1:-}" = --check ]; then
        dist_check
        return
    fi
    install_packages "${DIST_PACKAGES[@]}"
    local version
    version=$(project_version)
    # Every time stamp in the release is the last commit's.
    if ! SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null); then
        echo "dist builds from a git clone: the release's time is its last commit's" >&2
        exit 1
    fi
    export SOURCE_DATE_EPOCH
    rm -rf "$ROOT/dist"
    mkdir -p "$ROOT/dist"
    local entry name toolchain arch stage program
    for entry in "${DIST_BUILDS[@]}"; do
        read -r name toolchain arch <<<"$entry"
        # As the test command builds them, without the tests.
        windows_build "dist-$name" "$toolchain" -DVELTRANE_TESTS=OFF -DVELTRANE_WERROR=ON
        stage=$BUILD/dist-stage/$arch
        rm -rf "$stage"
        mkdir -p "$stage"
        for program in Veltrane_V10 veltrane-cli; do
            "$name-w64-mingw32-strip" -o "$stage/$program.exe" "$BUILD/dist-$name/bin/$program.exe"
        done
        sed "s/@VERSION@/$version/" "$ROOT/release/README.txt" | crlf > "$stage/README.txt"
        crlf < "$ROOT/LICENSE" > "$stage/LICENSE.txt"
        write_notices "$name" > "$stage/THIRD-PARTY-NOTICES.txt"
        python3 "$ROOT/release/make_zip.py" "$ROOT/dist/veltrane-$version-windows-$arch.zip" "$stage" \
            "${DIST_FILES[@]}"
    done
    (cd "$ROOT/dist" && sha256sum -- *.zip > SHA256SUMS)
    say "The release, in dist/:"
    cat "$ROOT/dist/SHA256SUMS"
}

# Builds the last commit's release twice, from two clean clones in different
# folders, and compares: equal sums prove that the zips are made from the
# sources alone.
dist_check() {
    install_packages "${DIST_PACKAGES[@]}"
    if [ -n "$(git -C "$ROOT" status --porcelain)" ]; then
        say "Note: uncommitted changes are not checked; the check builds the last commit"
    fi
    local commit work side clones=() failed=0
    commit=$(git -C "$ROOT" rev-parse HEAD)
    work=$(mktemp -d /tmp/veltrane-dist-check.XXXXXX)
    for side in one/veltrane two/elsewhere/veltrane-copy; do
        say "Building the release of ${commit:0:12} in $work/$side"
        git clone -q --no-local "$ROOT" "$work/$side"
        git -C "$work/$side" checkout -q "$commit"
        if ! (cd "$work/$side" && VELTRANE_BUILD="$work/$side/build" ./veltrane.sh dist) >"$work/$side.log" 2>&1; then
            tail -n 30 "$work/$side.log"
            echo "dist failed in $work/$side (log: $work/$side.log)" >&2
            exit 1
        fi
        clones+=("$work/$side")
    done
    local zip listing
    for zip in "${clones[0]}"/dist/*.zip; do
        zip=$(basename "$zip")
        say "$zip"
        sha256sum "${clones[0]}/dist/$zip" "${clones[1]}/dist/$zip"
        cmp -s "${clones[0]}/dist/$zip" "${clones[1]}/dist/$zip" || failed=1
        listing=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' \
            "${clones[0]}/dist/$zip")
        echo "  holds: $listing"
        [ "$listing" = "${DIST_FILES[*]}" ] || { echo "  expected: ${DIST_FILES[*]}" >&2; failed=1; }
    done
    cmp -s "${clones[0]}/dist/SHA256SUMS" "${clones[1]}/dist/SHA256SUMS" || failed=1
    if [ $failed -ne 0 ]; then
        say "NOT reproducible: the two builds differ (kept in $work)"
        exit 1
    fi
    mkdir -p "$ROOT/dist"
    cp "${clones[0]}"/dist/* "$ROOT/dist/"
    rm -rf "$work"
    say "Reproducible: both builds gave the same bytes; the release is in dist/"
}

usage() {
    sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
}

case "${1:-}" in
    run) command_run ;;
    test) command_test ;;
    screenshot) command_screenshot ;;
    bench) command_bench ;;
    fuzz) shift; command_fuzz "$@" ;;
    dist) shift; command_dist "$@" ;;
    *) usage ;;
esac
