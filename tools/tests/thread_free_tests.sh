#!/usr/bin/env bash
# Prints a CTest include file that labels `thread-free` every test the last
# release run saw start no thread. That run (Makefile, test-release) preloads
# tests/support/thread_mark.c, which logs "ran <filter>" for each GoogleTest
# process and "thread <filter>" once any process of that test, or a program
# it started, creates a thread. A test is labelled only when its "ran" line is
# there and no "thread" line is: a test the log does not know (new, renamed,
# not run, or a run without the preload) keeps its place in the
# ThreadSanitizer run. Test names come from the release build's own lists, so
# a name and its filter match as CTest holds them.
#
#   tools/tests/thread_free_tests.sh RELEASE_BUILD THREAD_LOG > thread_free_tests.cmake
set -euo pipefail
BUILD=${1:?release build folder}
LOG=${2:?thread log}

echo "# Written by tools/tests/thread_free_tests.sh from $LOG."
if [ ! -s "$LOG" ]; then
  echo "thread_free_tests.sh: no thread log at $LOG, every test stays" >&2
  exit 0
fi

# gtest_discover_tests writes one add_test line per test: the name in a
# bracket argument first, then the program and --gtest_filter=<filter>,
# itself in [==[ ]==] when it holds more than plain characters.
shopt -s nullglob
lists=("$BUILD"/tests/*_tests.cmake)
if [ ${#lists[@]} -eq 0 ]; then
  echo "thread_free_tests.sh: no test lists in $BUILD/tests, every test stays" >&2
  exit 0
fi

names=$(awk '
  FILENAME == ARGV[1] {
    kind = $1
    filter = substr($0, length(kind) + 2)
    if (kind == "ran") ran[filter] = 1
    else if (kind == "thread") threaded[filter] = 1
    next
  }
  /^add_test\(/ {
    if (!match($0, /^add_test\( *\[=+\[/)) next
    opening = substr($0, RSTART, RLENGTH)
    sub(/^add_test\( */, "", opening)
    closing = opening
    gsub(/\[/, "]", closing)
    rest = substr($0, RSTART + RLENGTH)
    end = index(rest, closing)
    if (end == 0) next
    name = substr(rest, 1, end - 1)
    rest = substr(rest, end + length(closing))
    start = index(rest, "--gtest_filter=")
    if (start == 0) next
    filter = substr(rest, start + length("--gtest_filter="))
    cut = index(filter, "]==]")
    if (cut == 0) cut = index(filter, " ")
    if (cut == 0) cut = index(filter, ")")
    if (cut == 0) next
    filter = substr(filter, 1, cut - 1)
    if ((filter in ran) && !(filter in threaded) && index(name, "]=====]") == 0) print name
  }
' "$LOG" "${lists[@]}" | LC_ALL=C sort -u)

if [ -z "$names" ]; then
  echo "thread_free_tests.sh: the log names no thread-free test" >&2
  exit 0
fi
echo "set_tests_properties("
sed 's/^/  [=====[/; s/$/]=====]/' <<< "$names"
echo "  PROPERTIES LABELS thread-free)"
echo "thread_free_tests.sh: $(wc -l <<< "$names") tests start no thread" >&2
