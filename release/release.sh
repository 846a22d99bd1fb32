#!/usr/bin/env bash
# The release, for ./veltrane.sh dist:
#   release.sh package XLSXWRITER_SOURCE  the zips in dist/, from the programs
#                                          of the dist presets' builds
#   release.sh check                       builds the last commit's release twice,
#                                          in two clean clones, and compares them
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build
say() { printf '\n== %s\n' "$*"; }

# build name, and the zip's name for it
DIST_BUILDS=("i686 x86" "x86_64 x64")
DIST_FILES=(Veltrane_V10.exe veltrane-cli.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)

project_version() {
    sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt"
}

crlf() { sed 's/\r$//; s/$/\r/'; }

# The notice: ours, then each library's license as its Debian package gives it.
write_notices() {  # architecture xlsxwriter-source
    local package=mingw-w64-${1//_/-}-dev entry title file version
    version=$(basename "$2" | sed 's/.*RELEASE_//')
    {
        sed "s/@VERSION@/$(project_version)/" "$ROOT/release/THIRD-PARTY-NOTICES.txt"
        for entry in "MinGW-w64 runtime and winpthreads ($package)|/usr/share/doc/$package/copyright" \
            "GCC runtime libraries, libgcc and libstdc++ (gcc-mingw-w64-base)|/usr/share/doc/gcc-mingw-w64-base/copyright" \
            "zlib (libz-mingw-w64-dev)|/usr/share/doc/libz-mingw-w64-dev/copyright" \
            "libxlsxwriter $version (License.txt of its sources)|$2/License.txt"; do
            title=${entry%%|*}
            file=${entry#*|}
            printf '\n\n======================================================================\n%s\n' "$title"
            printf '======================================================================\n\n'
            cat "$file"
        done
    } | crlf
}

package() {  # xlsxwriter-source
    local version entry arch zip stage program
    version=$(project_version)
    # Every time stamp in the release is the last commit's.
    if ! SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null); then
        echo "dist builds from a git clone: the release's time is its last commit's" >&2
        exit 1
    fi
    export SOURCE_DATE_EPOCH
    rm -rf "$ROOT/dist"
    mkdir -p "$ROOT/dist"
    for entry in "${DIST_BUILDS[@]}"; do
        read -r arch zip <<<"$entry"
        stage=$BUILD/dist-stage/$zip
        rm -rf "$stage"
        mkdir -p "$stage"
        for program in Veltrane_V10 veltrane-cli; do
            "$arch-w64-mingw32-strip" -o "$stage/$program.exe" "$BUILD/dist-windows-$arch/bin/$program.exe"
        done
        sed "s/@VERSION@/$version/" "$ROOT/release/README.txt" | crlf > "$stage/README.txt"
        crlf < "$ROOT/LICENSE" > "$stage/LICENSE.txt"
        write_notices "$arch" "$1" > "$stage/THIRD-PARTY-NOTICES.txt"
        python3 "$ROOT/release/make_zip.py" "$ROOT/dist/veltrane-$version-windows-$zip.zip" "$stage" "${DIST_FILES[@]}"
    done
    (cd "$ROOT/dist" && sha256sum -- *.zip > SHA256SUMS)
    say "The release, in dist/:"
    cat "$ROOT/dist/SHA256SUMS"
}

# Equal sums prove that the zips are made from the sources alone.
check() {
    if [ -n "$(git -C "$ROOT" status --porcelain)" ]; then
        say "Note: uncommitted changes are not checked; the check builds the last commit"
    fi
    local commit work side clones=() failed=0 zip listing
    commit=$(git -C "$ROOT" rev-parse HEAD)
    work=$(mktemp -d /tmp/veltrane-dist-check.XXXXXX)
    for side in one/veltrane two/elsewhere/veltrane-copy; do
        say "Building the release of ${commit:0:12} in $work/$side"
        git clone -q --no-local "$ROOT" "$work/$side"
        git -C "$work/$side" checkout -q "$commit"
        if ! (cd "$work/$side" && env -u VELTRANE_BUILD ./veltrane.sh dist) >"$work/$side.log" 2>&1; then
            tail -n 30 "$work/$side.log"
            echo "dist failed in $work/$side (log: $work/$side.log)" >&2
            exit 1
        fi
        clones+=("$work/$side")
    done
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

case "${1:-}" in
    package) package "$2" ;;
    check) check ;;
    *) sed -n '2,6p' "$0" >&2; exit 2 ;;
esac
