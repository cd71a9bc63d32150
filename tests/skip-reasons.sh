#!/bin/sh
# Run by ctest after the tests, in the build folder (tests/CMakeLists.txt): names each test that
# skipped with the reason it gave, which ctest itself shows only with -V.
log=Testing/Temporary/LastTest.log.tmp
[ -f "$log" ] || log=Testing/Temporary/LastTest.log
[ -f "$log" ] || exit 0
awk '
  function report() {
    if (reason != "") printf "%s  %s: %s\n", (count++ ? "" : "Skipped, and why:\n"), name, reason
    reason = ""
  }
  /^[0-9]+\/[0-9]+ Test: / { report(); name = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", name); next }
  # GoogleTest: the reason is the line after "FILE:LINE: Skipped".
  /: Skipped$/ { taking = 1; next }
  taking { taking = 0; reason = $0; next }
  # The headless desktop and the scripts run in it.
  /^SKIP: / && reason == "" { reason = substr($0, 7) }
  END { report() }
' "$log"
exit 0
