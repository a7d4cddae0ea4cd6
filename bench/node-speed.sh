#!/usr/bin/env bash
# The trace program under Node against the native one: the wall time of the
# sweep's trace (--sweep --trace /dev/null), Node's own start included, the
# best of five runs of each, taken in turns. Reports the ratio against its
# target, at most three times the native time, and the Node it ran on. A
# figure, not a check: it fails only when a program fails to run.
#   bench/node-speed.sh [runs]
# Uses $BUILD_DIR (default build/) and $WEB_BUILD_DIR (default build-web/).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native=${BUILD_DIR:-$root/build}/bin/zebo-morlix-trace
node_js=${WEB_BUILD_DIR:-$root/build-web}/bin/zebo-morlix-trace.js
me=node-speed
case ${1:-5} in
-h | --help)
    sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "$0"
    exit 0
    ;;
*[!0-9]* | 0)
    echo "$me: runs must be a whole number from 1, not '$1' (see bench/node-speed.sh --help)" >&2
    exit 2
    ;;
esac
runs=${1:-5}
[ -x "$native" ] || { echo "$me: no native trace program at $native: build it first (scripts/setup)" >&2; exit 1; }
[ -f "$node_js" ] || { echo "$me: no trace program for Node at $node_js: build it first (scripts/web)" >&2; exit 1; }

usec() { local t=${EPOCHREALTIME/[.,]/}; echo $((10#$t)); }
best_native=0
best_node=0
err=$(mktemp)
trap 'rm -f "$err"' EXIT
for ((i = 0; i < runs; ++i)); do
    for run in native node; do
        start=$(usec)
        if [ $run = native ]; then
            "$native" --sweep --trace /dev/null 2>"$err" || { echo "$me: the native program failed: $(head -c 300 "$err")" >&2; exit 1; }
        else
            node "$node_js" --sweep --trace /dev/null 2>"$err" || { echo "$me: the program under Node failed: $(head -c 300 "$err")" >&2; exit 1; }
        fi
        t=$(($(usec) - start))
        if [ $run = native ]; then
            ((best_native == 0 || t < best_native)) && best_native=$t
        else
            ((best_node == 0 || t < best_node)) && best_node=$t
        fi
    done
done
ratio=$(awk -v a="$best_node" -v b="$best_native" 'BEGIN { printf "%.2f", a / b }')
verdict=met
((best_node <= 3 * best_native)) || verdict=missed
echo "node speed: the sweep's trace natively $((best_native / 1000)) ms, under Node $(node --version) $((best_node / 1000)) ms" \
    "(best of $runs): $ratio x, target 3 x $verdict (load $(cut -d' ' -f1 /proc/loadavg))"
