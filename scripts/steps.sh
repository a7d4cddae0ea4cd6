# Sourced by the scripts: the steps of a set-up or test run, said in one line
# each. A step's own output goes to a log that is shown in full only when the
# step fails; a test run shows its runner's summary.

# The locale of a newcomer's fresh system is often "C": the programs and the
# tools they start (Qt, wine) then warn or read arguments in another code page.
[ "$(locale charmap 2>/dev/null)" = UTF-8 ] || export LC_ALL=C.UTF-8

steps_started=$(date +%s)
# The tests run so far, over every ctest run of this script (also those run in
# a subshell): one line "passed failed" each.
steps_tally=$(mktemp "${TMPDIR:-/tmp}/zebo-morlix-tally.XXXXXX")
trap 'rm -f "$steps_tally"' EXIT
steps_times=()
step_name=""
step_started=0

# Starts a stage: one line, and the time of the one before is noted.
stage() { # name
    stage_done
    step_name=$1
    step_started=$(date +%s)
    echo "== $1"
}
stage_done() {
    [ -z "$step_name" ] || steps_times+=("$step_name $(($(date +%s) - step_started)) s")
    step_name=""
}
# The closing lines: the tests passed and failed in all, then every stage
# with its time.
stages_summary() { # what
    stage_done
    awk '{ p += $1; f += $2 } END { printf "tests: %d passed, %d failed\n", p, f }' "$steps_tally"
    local IFS=,
    echo "$1 in $(($(date +%s) - steps_started)) s (${steps_times[*]})" | sed 's/,/, /g'
}

# Runs a command with its output in a log; shows the log and stops on failure.
quietly() { # what command...
    local what=$1 log status=0
    shift
    log=$(mktemp "${TMPDIR:-/tmp}/zebo-morlix-step.XXXXXX")
    "$@" >"$log" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
        cat "$log"
        rm -f "$log"
        echo "$(basename "$0"): $what failed (status $status; its output is above)" >&2
        exit 1
    fi
    rm -f "$log"
}

# Runs ctest in the current folder with the arguments; prints its summary, the
# tests that were skipped on purpose on one line, and on failure everything.
tests_run() { # ctest arguments...
    local log status=0
    log=$(mktemp "${TMPDIR:-/tmp}/zebo-morlix-ctest.XXXXXX")
    ctest --output-on-failure "$@" >"$log" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
        cat "$log"
        rm -f "$log"
        exit 1
    fi
    grep -E '^[0-9]+% tests passed|^Total Test time' "$log"
    sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' "$log" |
        awk '{ print $2 - $1, $1 }' >>"$steps_tally"
    local skipped
    skipped=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$log" | paste -sd, - | sed 's/,/, /g')
    [ -z "$skipped" ] || echo "skipped, as they ask to be here (ctest -V -R NAME says why): $skipped"
    rm -f "$log"
}
