# Shared by the shell tests: named checks that count passes and failures.
# Sourced, not run.
#
#   check DESCRIPTION COMMAND...   runs the command; ok or FAIL with the description
#   checks_summary                 prints the counts; fails when any check failed
#   need_programs PROGRAM...       fails the test at once, naming every program
#                                  that is not on PATH (scripts/test installs them)

failures=0
passes=0
check() {
  local what=$1
  shift
  if "$@"; then
    passes=$((passes + 1))
    echo "ok: $what"
  else
    failures=$((failures + 1))
    echo "FAIL: $what" >&2
  fi
}

checks_summary() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}

need_programs() {
  local program missing=()
  for program; do command -v "$program" >/dev/null || missing+=("$program"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "FAIL: not on PATH: ${missing[*]} (scripts/test installs what the tests need)" >&2
  exit 1
}
