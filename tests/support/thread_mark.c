/* Preloaded into the release run's tests (Makefile, test-release) to learn
 * which tests start a thread. A GoogleTest program started with a
 * --gtest_filter logs "ran <filter>" to the file TESSEL_THREAD_LOG names and
 * hands the filter on to every program it starts through TESSEL_THREAD_TEST;
 * the first pthread_create of any of those processes logs "thread <filter>".
 * The ThreadSanitizer run then leaves out only the tests that ran here
 * without a line of the second kind (tools/tests/thread_free_tests.sh). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char kFilterOption[] = "--gtest_filter=";

/* One whole line per write: appends from parallel tests never interleave. */
static void LogLine(const char* kind, const char* filter) {
    const char* path = getenv("TESSEL_THREAD_LOG");
    if (path == NULL || filter == NULL) {
        return;
    }
    char line[4096];
    const int length = snprintf(line, sizeof line, "%s %s\n", kind, filter);
    if (length <= 0 || (size_t)length >= sizeof line) {
        return;
    }
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    (void)!write(fd, line, (size_t)length);
    close(fd);
}

/* The filter this process was started with, read from its command line. */
static int OwnFilter(char* filter, size_t size) {
    const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    static char args[1 << 16];
    const ssize_t got = read(fd, args, sizeof args - 1);
    close(fd);
    if (got <= 0) {
        return 0;
    }
    args[got] = '\0';
    for (ssize_t at = 0; at < got; at += (ssize_t)strlen(args + at) + 1) {
        const char* arg = args + at;
        if (strncmp(arg, kFilterOption, sizeof kFilterOption - 1) == 0 &&
            strlen(arg) - (sizeof kFilterOption - 1) < size) {
            strcpy(filter, arg + sizeof kFilterOption - 1);
            return 1;
        }
    }
    return 0;
}

/* A process already inside a test (a helper it starts, even one with a
 * filter of its own) keeps counting for that test. */
__attribute__((constructor)) static void MarkTest(void) {
    static int done;
    if (__atomic_exchange_n(&done, 1, __ATOMIC_RELAXED) || getenv("TESSEL_THREAD_LOG") == NULL ||
        getenv("TESSEL_THREAD_TEST") != NULL) {
        return;
    }
    char filter[4000];
    if (!OwnFilter(filter, sizeof filter)) {
        return;
    }
    setenv("TESSEL_THREAD_TEST", filter, 1);
    LogLine("ran", filter);
}

typedef int (*CreateThread)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                   void* argument) {
    static CreateThread real;
    static int logged;
    if (real == NULL) {
        real = (CreateThread)dlsym(RTLD_NEXT, "pthread_create");
    }
    /* A library's constructor may start a thread before this one has run. */
    MarkTest();
    if (!__atomic_exchange_n(&logged, 1, __ATOMIC_RELAXED)) {
        LogLine("thread", getenv("TESSEL_THREAD_TEST"));
    }
    return real(thread, attributes, start, argument);
}
