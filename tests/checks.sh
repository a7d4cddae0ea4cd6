# Sourced by the shell tests: a scratch folder removed at exit, fail to record a
# failed check, and finish to report and set the status.
set -u
work=$(mktemp -d)
failures=0
on_exit=()
trap 'for c in "${on_exit[@]}"; do eval "$c"; done; rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

finish() { # what was checked
    [ $failures -eq 0 ] && echo "$1: all checks passed"
    exit $((failures > 0))
}

# Waits, up to 10 s, until the program started as pid has its handlers for
# SIGINT, SIGTERM and SIGHUP (or those of mask): a signal sent before then
# would find a program that cannot clean up yet.
ready() { # pid [mask]: waits until the program has its handlers for SIGINT, SIGTERM and SIGHUP (or those of mask)
    local i mask=${2:-0x4003} shell
    shell=$(readlink /proc/$$/exe)
    for i in $(seq 200); do
        # Until it has started the program, a forked shell may hold handlers of its own.
        [ "$(readlink "/proc/$1/exe" 2>/dev/null)" != "$shell" ] &&
            [ $((0x$(awk '/^SigCgt:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0) & mask)) -eq $((mask)) ] && return
        sleep 0.05
    done
}
