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
