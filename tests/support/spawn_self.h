// Tests that need a second process start this test program again, running
// only one test (a helper that reads its task from the environment).
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace tessel_test {

// Starts this test program running only `test`, with `extra` added to the
// environment; its standard output goes to /dev/null, as the helper's
// expected failures would only confuse the report. -1 when it cannot start.
inline pid_t SpawnSelf(const std::string& test, const std::vector<std::string>& extra) {
    std::string filter = "--gtest_filter=" + test;
    char self[] = "/proc/self/exe";
    char* argv[] = {self, filter.data(), nullptr};
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int result = posix_spawn(&pid, self, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

// The exit code of a started process; 128 when it did not exit normally.
inline int WaitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace tessel_test
