#!/bin/sh
# Runs a test in an empty working directory of its own, removed afterwards:
# the program keeps its capture file and symbols relative to the working
# directory, so nothing an earlier (or interrupted) run left may leak in.
# The test dies with this script (ctest's time-out kills the script), so no
# orphan outlives its run.
dir=$(mktemp -d "${TMPDIR:-/tmp}/korvex-test.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
trap 'exit 143' INT TERM HUP
cd "$dir" || exit 1
setpriv --pdeathsig KILL -- "$@"
