// The packer's command line: the default archive name, the options, and the
// refusals of a command line it cannot follow.
#include "tools/lib/qpkpack_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "foundation/files/archive.h"
#include "foundation/files/files_test_support.h"
#include "tests/tools/archive_test_support.h"

namespace {

using namespace tessel;
using namespace tessel_test;

struct Outcome {
    int result;
    std::string out;
    std::string err;
};

Outcome RunCommand(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "qpkpack");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Outcome outcome;
    outcome.result = RunQpkpack(static_cast<int>(argv.size()), argv.data());
    outcome.out = testing::internal::GetCapturedStdout();
    outcome.err = testing::internal::GetCapturedStderr();
    return outcome;
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// A folder "data" with one file, in a scratch folder that is the current one.
class Qpkpack : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(mkdir(dir_.Linux("data").c_str(), 0755), 0);
        WriteWholeFile(dir_.Linux("data/f.txt"), RepeatingBytes(3000));
    }

    // The archive's version, and whether f.txt reads back with the key.
    void Check(const std::string& archive, const char* key, int version) {
        const std::string bytes = ReadWholeFile(dir_.Linux(archive));
        ASSERT_GE(bytes.size(), 4u) << archive;
        ArchiveState state;
        ArchiveStateClear(&state);
        const std::string path = dir_.Windows() + "\\" + archive;
        ASSERT_EQ(ArchiveOpenStreamed(&state, path.c_str(), key), 0) << archive;
        EXPECT_EQ(state.header.version, version);
        std::string got;
        EXPECT_TRUE(ReadArchived(&state, "f.txt", &got));
        EXPECT_EQ(got, RepeatingBytes(3000));
        ArchiveClose(&state);
    }

    ScratchDirectory dir_;
};

TEST_F(Qpkpack, TheArchiveGoesBesideTheFolderUnderItsName) {
    Outcome plain = RunCommand({"data/"});
    EXPECT_EQ(plain.result, 0) << plain.err;
    EXPECT_EQ(plain.out, "data -> data.dat\n");
    Check("data.dat", nullptr, 4);
    Outcome extension = RunCommand({"-e", "QPK", "data"});
    EXPECT_EQ(extension.result, 0) << extension.err;
    Check("data.QPK", nullptr, 4);
    Outcome named = RunCommand({"data", "out.bin"});
    EXPECT_EQ(named.result, 0) << named.err;
    Check("out.bin", nullptr, 4);
}

TEST_F(Qpkpack, OptionsReachTheArchive) {
    EXPECT_EQ(RunCommand({"-k", "secret", "-l", "9", "data", "keyed.dat"}).result, 0);
    Check("keyed.dat", "secret", 4);
    ArchiveState state;
    ArchiveStateClear(&state);
    const std::string keyed = dir_.Windows() + "\\keyed.dat";
    EXPECT_EQ(ArchiveOpenStreamed(&state, keyed.c_str(), nullptr), -1) << "not the default key";
    EXPECT_EQ(RunCommand({"-v", "1", "-s", "data", "old.dat"}).result, 0);
    Check("old.dat", nullptr, 1);
    EXPECT_EQ(RunCommand({"-2", "-v", "0", "data", "second.dat"}).result, 0);
    Check("second.dat", nullptr, 0);  // the second key is tried after the first
}

TEST_F(Qpkpack, CommandLinesItCannotFollowAreRefusedWithTheUsage) {
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"data", "a.dat", "b.dat"},
        {"-l", "0", "data"},
        {"-l", "10", "data"},
        {"-l", "six", "data"},
        {"-v", "5", "data"},
        {"-v", "-1", "data"},
        {"-v", "65540", "data"},  // would be 4 once cut to 16 bits
        {"-v", "4x", "data"},
        {"-x", "data"},
        {"-k"},
        {"-2", "-v"},
    };
    for (const std::vector<std::string>& arguments : refused) {
        std::string line;
        for (const std::string& argument : arguments) {
            line += argument + " ";
        }
        SCOPED_TRACE(line);
        Outcome outcome = RunCommand(arguments);
        EXPECT_EQ(outcome.result, 2);
        EXPECT_EQ(outcome.err.rfind("usage: qpkpack", 0), 0u) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_FALSE(Exists(dir_.Linux("data.dat"))) << "nothing was packed";
    // A folder that is not there is a failure of its own.
    Outcome missing = RunCommand({"nothere"});
    EXPECT_EQ(missing.result, 1);
    EXPECT_NE(missing.err.find("nothere"), std::string::npos) << missing.err;
}

}  // namespace
