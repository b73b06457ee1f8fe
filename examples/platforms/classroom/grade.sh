#!/bin/sh
# GitHub Classroom's autograding: checks the src.txt at the root of the student's repository against
# the exercise kept beside this file and writes the result, as base64 on one line, to the step's
# output "result", where the Classroom reporter reads it; a result is written whatever happens.
#
# fivestage-report reads src.txt alone, refusing a symbolic link, a file that is not regular and one
# over 1 MB; the exercise's maxCycles caps every run, and timeout the wall time.
set -eu
output=${GITHUB_OUTPUT:?GITHUB_OUTPUT names the file of the step outputs}
workspace=${GITHUB_WORKSPACE:-.}
exercise=${FIVESTAGE_EXERCISE:-$(dirname "$0")/exercise.json}
result=$(mktemp)
trap 'rm -f "$result"' EXIT

timeout "${FIVESTAGE_TIMEOUT:-60}" \
  fivestage-report --check "$exercise" "$workspace" --classroom "$result" || true
# A result even when the exercise cannot be read or the run was stopped: the reason is in the log.
if [ ! -s "$result" ]; then
  printf '%s' '{"version": 1, "status": "error", "max_score": 0, "tests": [{"name": "fivestage", "status": "error", "score": 0, "message": "the grader could not check src.txt: see the workflow log"}]}' |
    base64 | tr -d '\n' >"$result"
fi
printf 'result=%s\n' "$(tr -d '\n' <"$result")" >>"$output"
