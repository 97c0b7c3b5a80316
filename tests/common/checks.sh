# Shared by the shell tests: named checks that count passes and failures.
# Sourced, not run.
#
#   check DESCRIPTION COMMAND...   runs the command; ok or FAIL with the description
#   checks_summary                 prints the counts; fails when any check failed

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
