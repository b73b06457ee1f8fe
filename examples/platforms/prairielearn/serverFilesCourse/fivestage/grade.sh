#!/bin/sh
# PrairieLearn's external grader runs this in the grader's image for each submission: it checks the
# student's src.txt against the exercise kept beside this file in the course's serverFilesCourse and
# writes PrairieLearn's results.json, whatever happens.
#
# fivestage-report reads the submission's src.txt alone, refusing a symbolic link, a file that is
# not regular and one over 1 MB; the exercise's maxCycles caps every run, and timeout the wall time.
set -eu
root=${GRADE_ROOT:-/grade}
exercise=${FIVESTAGE_EXERCISE:-$root/serverFilesCourse/fivestage/exercise.json}
results=$root/results/results.json

mkdir -p "$root/results"
rm -f "$results"
timeout "${FIVESTAGE_TIMEOUT:-60}" \
  fivestage-report --check "$exercise" "$root/student" --prairielearn "$results" || true
# A result even when the exercise cannot be read or the run was stopped: not gradable, so the
# student keeps the attempt; the reason is in the grader's log.
if [ ! -s "$results" ]; then
  printf '%s\n' '{"gradable": false, "score": 0, "message": "The grader could not check this submission: please tell your teacher.", "output": "", "tests": [], "format_errors": ["the grader could not run"]}' >"$results"
fi
