# SPDX-License-Identifier: MIT
# What the shell tests share; sourced, not run: a work folder of their own,
# emptied first, and a count of failures that the test's exit status reports.

# Empties WORK_DIR for a test and counts its failures in $failures.
start_work() {
  rm -rf "$1"
  mkdir -p "$1"
  failures=0
}

# Reports one failure and counts it; the test goes on.
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
