// How a windowed program starts or refuses to, run as a real program
// (hello_window) in an environment the test makes: with no display it ends
// with one line on standard error instead of running unseen; the dummy driver
// asked for by name still runs; a second copy on the same display ends with
// the library's refusal on standard error; a copy on another display runs
// beside the first.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support/virtual_display.h"

namespace {

using tessel_test::OnPath;
using tessel_test::ThisProgramFolder;
using tessel_test::VirtualDisplay;
using tessel_test::WaitForExit;

// The refusal's text as it reaches a UTF-8 terminal (this file's narrow
// strings are code page 932).
const char* const kSecondCopyLine =
    reinterpret_cast<const char*>(u8"二重起動されています、ソフトを終了します");
const char* const kNoDisplayLine = "no display to open a window on";

// A program run with an environment of the test's choosing: only the
// variables named, over a copy of the test's own less the display ones.
class Program {
  public:
    Program(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            dup2(fds[1], 2);
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER",
                                     "TESSEL_INSTANCE_NAMESPACE", "HELLO_WINDOW_FRAMES"}) {
                unsetenv(name);
            }
            for (const auto& [name, value] : env) {
                setenv(name.c_str(), value.c_str(), 1);
            }
            // The X client libraries keep allocations to the end; they are not ours.
            const char* asan = getenv("ASAN_OPTIONS");
            const std::string options = asan != nullptr ? std::string(asan) + ":" : std::string();
            setenv("ASAN_OPTIONS", (options + "detect_leaks=0").c_str(), 1);
            std::vector<char*> argv;
            for (const std::string& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        stderr_ = fds[0];
    }

    ~Program() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stderr_ >= 0) {
            close(stderr_);
        }
    }

    // The exit status; -1 when still running after `ms` (then killed).
    int Wait(DWORD ms) {
        status_ = WaitForExit(pid_, ms);
        return status_;
    }

    // What it wrote to standard error, once it has ended.
    std::string Errors() {
        std::string text;
        char buffer[512];
        ssize_t n;
        while (stderr_ >= 0 && (n = read(stderr_, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }

  private:
    pid_t pid_ = -1;
    int stderr_ = -1;
    int status_ = -1;
};

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class StartRefusals : public ::testing::Test {
  protected:
    void SetUp() override {
        program_ = ThisProgramFolder() + "/hello_window";
        if (access(program_.c_str(), X_OK) != 0) {
            GTEST_SKIP() << "hello_window is not built";
        }
        // A runtime folder of the test's own: windows of other tests and of a
        // person's programs are not seen, and the default namespaces are.
        char folder[] = "/tmp/start_refusals_XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        runtime_ = folder;
    }

    void TearDown() override {
        if (!runtime_.empty()) {
            std::system(("rm -rf '" + runtime_ + "'").c_str());
        }
    }

    std::map<std::string, std::string> Env(std::map<std::string, std::string> more) const {
        more["XDG_RUNTIME_DIR"] = runtime_;
        return more;
    }

    // True once a window of another process is registered in `space`.
    bool WaitForInstance(const std::string& space) const {
        const std::string dir = runtime_ + "/tessel-windows/" + space;
        const DWORD start = timeGetTime();
        while (timeGetTime() - start < 30000) {
            if (DIR* d = opendir(dir.c_str())) {
                bool found = false;
                while (dirent* entry = readdir(d)) {
                    found = found || entry->d_name[0] != '.';
                }
                closedir(d);
                if (found) {
                    return true;
                }
            }
            Sleep(20);
        }
        return false;
    }

    std::string program_;
    std::string runtime_;
};

TEST_F(StartRefusals, WithNoDisplayTheProgramEndsWithOneLineInsteadOfRunningUnseen) {
    Program program({program_, "5"}, Env({}));
    const int status = program.Wait(60000);
    const std::string errors = program.Errors();
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "still running: it ran without a display";
    EXPECT_EQ(Count(errors, kNoDisplayLine), 1u) << errors;
}

TEST_F(StartRefusals, TheDummyDriverAskedForByNameStillRuns) {
    Program program({program_, "5"}, Env({{"SDL_VIDEODRIVER", "dummy"}}));
    EXPECT_EQ(program.Wait(60000), 0);
    EXPECT_EQ(Count(program.Errors(), kNoDisplayLine), 0u);
}

TEST_F(StartRefusals, ASecondCopyOnTheSameDisplayEndsWithTheRefusalOnStandardError) {
    Program first({program_}, Env({{"SDL_VIDEODRIVER", "dummy"}}));
    ASSERT_TRUE(WaitForInstance("headless"));
    Program second({program_, "5"}, Env({{"SDL_VIDEODRIVER", "dummy"}}));
    const int status = second.Wait(60000);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1);
    EXPECT_EQ(Count(second.Errors(), kSecondCopyLine), 1u);
    EXPECT_EQ(first.Wait(0), -1) << "the first copy ended";
}

TEST_F(StartRefusals, ACopyOnAnotherDisplayRunsBesideAHeadlessOne) {
    if (!OnPath("Xvfb")) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    VirtualDisplay display;
    ASSERT_TRUE(display.Start());
    Program headless({program_}, Env({{"SDL_VIDEODRIVER", "dummy"}}));
    ASSERT_TRUE(WaitForInstance("headless"));
    Program windowed({program_, "5"}, Env({{"DISPLAY", display.name()}}));
    EXPECT_EQ(windowed.Wait(60000), 0) << windowed.Errors();
    // And a second windowed copy on that display while one runs there is refused.
    Program held({program_}, Env({{"DISPLAY", display.name()}}));
    const std::string x11 = "x11-_" + display.name().substr(1);
    ASSERT_TRUE(WaitForInstance(x11));
    Program refused({program_, "5"}, Env({{"DISPLAY", display.name()}}));
    EXPECT_NE(refused.Wait(60000), 0);
    EXPECT_EQ(Count(refused.Errors(), kSecondCopyLine), 1u);
}

}  // namespace
