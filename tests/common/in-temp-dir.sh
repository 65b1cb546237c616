#!/bin/sh
# Runs a test in an empty working directory of its own, removed afterwards:
# the program keeps its capture file and symbols relative to the working
# directory, so nothing an earlier (or interrupted) run left may leak in.
dir=$(mktemp -d "${TMPDIR:-/tmp}/korvex-test.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT INT TERM
cd "$dir" || exit 1
"$@"
