#!/usr/bin/env bash
# Writes tests/single_threaded.cmake: every test of a release build that
# passes without any thread being started, in its own process or in a program
# it runs, gets the label `single-threaded`. The race detector has nothing to
# watch in such a test, so the ThreadSanitizer run leaves them out (see the
# README's test section). A test not on the list runs everywhere, so a new or
# renamed test is checked for races until the list is made again.
#
#   tools/tests/list_single_threaded.sh [build folder, build/release] [jobs, 3]
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=$(cd "${1:-build/release}" && pwd)
JOBS=${2:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Counts pthread_create calls into the file THREAD_MARK names; LD_PRELOAD
# carries it into every program the test starts.
cat > "$WORK/mark.c" <<'C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>
typedef int (*Create)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
int pthread_create(pthread_t* t, const pthread_attr_t* a, void* (*f)(void*), void* arg) {
    static Create real;
    if (!real) real = (Create)dlsym(RTLD_NEXT, "pthread_create");
    const char* path = getenv("THREAD_MARK");
    if (path) {
        int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) { (void)!write(fd, "t\n", 2); close(fd); }
    }
    return real(t, a, f, arg);
}
C
cc -shared -fPIC -O2 -o "$WORK/mark.so" "$WORK/mark.c" -ldl

# One line per GoogleTest case, as CTest holds it: its name, its program and
# the filter that runs it alone.
(cd "$BUILD" && ctest --show-only=json-v1) | python3 -c '
import json, sys
for test in json.load(sys.stdin)["tests"]:
    command = test.get("command", [])
    filters = [a[len("--gtest_filter="):] for a in command if a.startswith("--gtest_filter=")]
    if filters:
        print("\t".join([test["name"], command[0], filters[0]]))
' > "$WORK/tests"

cat > "$WORK/one" <<SH
#!/usr/bin/env bash
IFS=\$'\\t' read -r name program filter <<< "\$1"
mark="$WORK/mark.\$\$"
rm -f "\$mark"
cd "$BUILD"
# Only a test that ran, passed and started nothing counts (a filter that
# matches no test passes too).
if SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy THREAD_MARK="\$mark" LD_PRELOAD="$WORK/mark.so" \
   timeout 300 "\$program" --gtest_filter="\$filter" 2>&1 | grep -q '^\[  PASSED  \] 1 test\.' &&
   [ ! -s "\$mark" ]; then
  echo "\$name"
fi
rm -f "\$mark"
SH
chmod +x "$WORK/one"
xargs -P "$JOBS" -n 1 -d '\n' "$WORK/one" < "$WORK/tests" | LC_ALL=C sort > "$WORK/single"

{
  echo "# Made by tools/tests/list_single_threaded.sh: tests that start no thread."
  echo "set_tests_properties("
  sed 's/^/  [=[/; s/$/]=]/' "$WORK/single"
  echo "  PROPERTIES LABELS single-threaded)"
} > tests/single_threaded.cmake
echo "$(wc -l < "$WORK/single") of $(wc -l < "$WORK/tests") tests start no thread"
