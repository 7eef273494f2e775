# shellcheck shell=bash
# Sourced by the shell tests: a scratch folder `$work` removed on exit, and
# `check <description> <command...>`, which prints ok or FAILED for each
# check and counts the failures; `checks_done` prints the count and is the
# test's result.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
checks_done() {
  echo "$failures failed"
  [[ $failures == 0 ]]
}
