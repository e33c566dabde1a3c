# Sourced by the shell tests: check NAME EXPECTED ACTUAL counts and reports one
# comparison; finish prints the closing "N passed, N failed" line and sets the result.
passed=0 failed=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1)); echo "ok: $1"
  else
    failed=$((failed + 1)); echo "FAILED: $1"; echo "  expected: $2"; echo "  got:      $3"
  fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
