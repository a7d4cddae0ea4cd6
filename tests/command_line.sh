#!/usr/bin/env bash
# The command line of every program that plays key scripts, one program per
# run: the renderer, the native trace program and the trace program under Node
# take the same options and give the same messages, statuses and output rules.
# Each case is a command as a careful, careless or hostile user would give it,
# the status and message it must end with, and the state of the files after it.
#   command_line.sh render RENDER
#   command_line.sh trace  TRACE   RENDER
#   command_line.sh node   TRACE_JS RENDER   (status 77, skipped, when not built)
# The renderer's trace and pictures are the reference every program must
# match. Cases that need root (another user's files, a tmpfs) are skipped
# without it. Groups: cli/usage.sh (refused command lines, help, messages),
# cli/key_scripts.sh (scripts and what they play), cli/outputs.sh (files,
# devices, links, permissions), cli/signals.sh (interrupted runs).
edition=$1
program=$(realpath -m "$2")
render=$(realpath -m "${3:-$2}")
case $edition in
render) ;;
trace) trace=$program ;;
node)
    trace_js=$program
    if [ ! -f "$trace_js" ] || ! command -v node >/dev/null; then
        echo "the trace program for Node is not built ($trace_js): skipped"
        exit 77
    fi
    ;;
esac
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/cli/lib.sh"
pic=--svg ext=svg
on render && pic=--png ext=png

for group in usage key_scripts outputs signals; do
    if [ -f "$here/cli/$group.sh" ]; then
        . "$here/cli/$group.sh"
    else
        fail "no group of cases $here/cli/$group.sh"
    fi
done

cd "$work" || exit 1
[ ${#skipped[@]} -eq 0 ] || echo "skipped (needs root): ${skipped[*]}"
finish "the command line of $program_name ($edition)"
