#!/usr/bin/env bash
# Four platforms, one trace: builds the trace program for 64-bit ARM Linux and
# for 64-bit Windows (cmake/toolchains), runs it natively, under Node, under
# qemu-aarch64 and under wine, and checks that the four traces of each key
# script are byte-identical. The scripts are those of tests/web/trace.test.mjs,
# the tenths script and the whole sweep with the overlays, piling up. It checks
# bytes only; bench/node-speed.sh times the Node edition. Before the traces,
# tests/math_platforms.sh checks the correctly rounded math alone, over far more
# arguments than the traces reach, on the same platforms and clang++, with the
# compilers of these builds and in the same wine prefix. Two scripts run with a
# user's mechanism (data/mechanisms/polynomial.csv with a stretching linkage,
# tests/data/rising-lift.txt with another slider-crank and checking lift), and
# for those the valve events (--events) are compared as well as the trace.
#   tests/platforms.sh
# Uses the native build in $BUILD_DIR (default build/) and the web build in
# $WEB_BUILD_DIR (default build-web/, made by scripts/web); builds the cross
# programs in $AARCH64_BUILD_DIR and $MINGW_BUILD_DIR (default build-aarch64/
# and build-mingw/). Needs g++-aarch64-linux-gnu, qemu-user,
# g++-mingw-w64-x86-64, wine and node (scripts/test installs them) and clang++
# (scripts/setup).
# Prints one line for the math and one for the traces, and each difference or
# failure in full.
# Exit status: 0 all the same, 1 a difference or a platform that failed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
web=${WEB_BUILD_DIR:-$root/build-web}
arm=${AARCH64_BUILD_DIR:-$root/build-aarch64}
win=${MINGW_BUILD_DIR:-$root/build-mingw}
me=$(basename "$0")

case ${1:-} in
"") ;;
-h | --help) sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
*) echo "$me: unknown option '$1' (see tests/platforms.sh --help)" >&2; exit 2 ;;
esac

for tool in aarch64-linux-gnu-g++ qemu-aarch64 x86_64-w64-mingw32-g++ wine node cmake clang++; do
    if ! command -v "$tool" >/dev/null; then
        echo "$me: $tool is missing: run scripts/test, which installs the cross tools, or apt-get install g++-aarch64-linux-gnu qemu-user g++-mingw-w64-x86-64 wine wine64 nodejs clang" >&2
        exit 1
    fi
done
native=$build/bin/zebo-morlix-trace
node_js=$web/bin/zebo-morlix-trace.js
[ -x "$native" ] || { echo "$me: no native trace program at $native: build it first (cmake --build ${build#"$root"/} --target zebo-morlix-trace)" >&2; exit 1; }
[ -f "$node_js" ] || { echo "$me: no trace program for Node at $node_js: build it first with scripts/web" >&2; exit 1; }

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f", b - a }'; }

# The build's output is shown only when it fails.
build_log=$(mktemp)
built=()
for pair in "$arm:aarch64-linux-gnu" "$win:x86_64-w64-mingw32"; do
    dir=${pair%%:*}
    chain=${pair##*:}
    start=$(seconds)
    if ! { cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$chain.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
        cmake --build "$dir" -j "$(nproc)" --target zebo-morlix-trace; } >"$build_log" 2>&1; then
        cat "$build_log"
        echo "$me: the $chain build failed (above)"
        rm -f "$build_log"
        exit 1
    fi
    built+=("$chain $(elapsed "$start") s")
done
rm -f "$build_log"

# Wine, quiet and without a display: its own prefix in the build folder, no
# debug messages, no offers to install Mono or Gecko, no windows.
# Under a locale that is not UTF-8, wine hands the program its arguments in
# that locale's code page, and a step such as 'é' arrives as other bytes.
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
[ "$(locale charmap 2>/dev/null)" = UTF-8 ] || export LC_ALL=C.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    start=$(seconds)
    wineboot --init >/dev/null 2>&1
    wineserver --wait
    built+=("wine prefix $(elapsed "$start") s")
fi
out=$(mktemp -d)
# The wine server of this prefix ends with the check.
trap 'wineserver --kill >/dev/null 2>&1 || true; rm -rf "$out"' EXIT

failed=0

# The math alone, built with the compilers of the builds above (each build's
# CMakeCache.txt names its own) and run in this wine prefix.
compiler_of() { sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$1/CMakeCache.txt"; }
AARCH64_CXX=$(compiler_of "$arm") MINGW_CXX=$(compiler_of "$win") EMXX=$(compiler_of "$web") \
    bash "$root/tests/math_platforms.sh" || failed=1

# The scripts of the Node test, read from it, then the others.
mapfile -t scripts < <(node -e '
    const text = require("fs").readFileSync(process.argv[1], "utf8");
    const list = new Function("return " + text.match(/const scripts = (\[[\s\S]*?\n\]);/)[1])();
    for (const s of list) console.log(JSON.stringify(s));
' "$root/tests/web/trace.test.mjs")
scripts+=('["backspace enter enter enter tab tab enter enter enter enter enter enter"]' '["","--sweep"]')
# Profiles of other lengths and directions than the built-in one, read from
# the checkout (the paths are relative, the same on every platform).
scripts+=('["x x x backspace x x comma x x","--linkage","31.5,14,32,27","--profile","data/mechanisms/polynomial.csv"]'
    '["x tab x enter backspace x slash x x","--profile","tests/data/rising-lift.txt","--slider-crank","20,80","--checking-lift","2"]')
cd "$root"
grep -q '\["backspace slash", "--sweep"\]' "$root/tests/web/trace.test.mjs" || scripts+=('["backspace slash","--sweep"]')

declare -A total=([native]=0 [node]=0 [aarch64]=0 [windows]=0)
lines_all=0
events_all=0
for json in "${scripts[@]}"; do
    mapfile -t keys_and_args < <(node -e 'for (const a of JSON.parse(process.argv[1])) console.log(a)' "$json")
    outputs=(--trace)
    case $json in *--linkage* | *--profile*) outputs+=(--events) ;; esac
    for output in "${outputs[@]}"; do
        args=(--keys "${keys_and_args[@]}" "$output" -)
        for platform in native node aarch64 windows; do
            case $platform in
            native) run=("$native") ;;
            node) run=(node "$node_js") ;;
            aarch64) run=(qemu-aarch64 -L /usr/aarch64-linux-gnu "$arm/bin/zebo-morlix-trace") ;;
            windows) run=(wine "$win/bin/zebo-morlix-trace.exe") ;;
            esac
            start=$(seconds)
            if ! "${run[@]}" "${args[@]}" >"$out/$platform" 2>"$out/$platform.err"; then
                echo "FAIL $json $output: the $platform program failed: $(head -c 300 "$out/$platform.err")"
                failed=1
            fi
            total[$platform]=$(awk -v t="${total[$platform]}" -v d="$(elapsed "$start")" 'BEGIN { print t + d }')
        done
        lines=$(wc -l <"$out/native")
        same=true
        for platform in node aarch64 windows; do
            if ! cmp -s "$out/native" "$out/$platform"; then
                same=false
                failed=1
                n=$( (cmp "$out/native" "$out/$platform" 2>&1 || true) | sed -n 's/.* line \([0-9]*\).*/\1/p')
                n=${n:-$(($(wc -l <"$out/$platform") + 1))}
                echo "FAIL $json $output: $platform differs from native at line $n of $lines:"
                echo "  native:   $(sed -n "${n}p" "$out/native")"
                echo "  $platform: $(sed -n "${n}p" "$out/$platform")"
            fi
        done
        if $same; then
            case $output in
            --trace) lines_all=$((lines_all + lines)) ;;
            --events) events_all=$((events_all + lines)) ;;
            esac
        fi
    done
done
if [ $failed -eq 0 ]; then
    echo "four platforms: ${#scripts[@]} scripts, $lines_all trace lines and $events_all lines of valve events, identical natively, under Node, qemu-aarch64 and wine" \
        "(built $(IFS=,; echo "${built[*]}" | sed "s/,/, /g"); ran native ${total[native]} s, node ${total[node]} s, aarch64 ${total[aarch64]} s, windows ${total[windows]} s)"
fi
exit $failed
