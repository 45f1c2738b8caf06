// Whole faults, each in a child process that faults on purpose: the report
// text on standard error, byte for byte, the exit code 0 and the log lines
// written before the fault.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A fresh working folder per child, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "corvane-fault-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct ChildResult {
    int status = -1;
    std::string errorText;
};

// The sanitizer runtime, when the test build carries one, must leave the
// fault signals to the report.
const char* const SanitizerOptions =
    "ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:"
    "handle_abort=0:use_sigaltstack=0:detect_leaks=0";

ChildResult runDriver(const fs::path& folder, const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment,
                      std::string program = FAULT_DRIVER) {
    std::vector<char*> argv;
    argv.push_back(program.data());
    std::vector<std::string> argumentCopies = arguments;
    for (std::string& argument : argumentCopies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environmentCopies = environment;
    environmentCopies.emplace_back(SanitizerOptions);
    std::vector<char*> envp;
    for (std::string& variable : environmentCopies) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    ChildResult result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return result;
    }
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0 || dup2(pipeFds[1], STDERR_FILENO) < 0) {
            _exit(120);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(121);
    }
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) != 0) {
        if (got > 0) {
            result.errorText.append(buffer, static_cast<std::size_t>(got));
        } else if (errno != EINTR) {
            break;
        }
    }
    close(pipeFds[0]);
    if (child > 0) {
        while (waitpid(child, &result.status, 0) < 0 && errno == EINTR) {
        }
    }
    return result;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The line of FaultDriver.cpp whose comment says "fault-line: <marker>".
unsigned markedLine(const std::string& marker) {
    std::ifstream source(FAULT_DRIVER_SOURCE);
    const std::string wanted = "// fault-line: " + marker;
    std::string line;
    for (unsigned number = 1; std::getline(source, line); ++number) {
        if (line.size() >= wanted.size() &&
            line.compare(line.size() - wanted.size(), wanted.size(), wanted) == 0) {
            return number;
        }
    }
    ADD_FAILURE() << "no line marked " << marker;
    return 0;
}

std::string reportText(unsigned line, const std::string& description) {
    return "FaultDriver [" + std::to_string(line) + "]\r\n" + description + "\r\n" +
           std::string(64, ' ');
}

const std::vector<std::string> NoDisplay = {"QT_QPA_PLATFORM=offscreen", "PATH=/usr/bin:/bin"};

// What the driver logs before it faults, in order, as the log file holds it:
// the byte order mark, then each line stamped with the driver's fixed clock.
std::string loggedLines(const std::string& mode) {
    std::string text = "\xEF\xBB\xBF";
    const auto line = [&text](const std::string& message) {
        text += "08:04:03 | " + message + "\r\n";
    };
    line("driver started");
    for (int i = 1; i <= 120; ++i) {
        char number[4];
        std::snprintf(number, sizeof number, "%03d", i);
        line(std::string("numbered line ") + number);
    }
    line("about to fault: " + mode);
    return text;
}

bool exitedWithZero(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct FaultCase {
    const char* mode;
    const char* description;
};

class ChildFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ChildFault, ReportsTheFaultingStatementAndKeepsTheLog) {
    const FaultCase& c = GetParam();
    TempDir folder;
    ASSERT_FALSE(folder.path().empty());

    const ChildResult result = runDriver(folder.path(), {c.mode}, NoDisplay);

    EXPECT_TRUE(exitedWithZero(result.status)) << "status " << result.status;
    EXPECT_EQ(result.errorText, reportText(markedLine(c.mode), c.description));
    EXPECT_EQ(readFile(folder.path() / "log.log"), loggedLines(c.mode));
}

INSTANTIATE_TEST_SUITE_P(Faults, ChildFault,
                         ::testing::Values(
                             // An integer statement of the program's own code.
                             FaultCase{"divzero", "DIVISION BY ZERO "},
                             // Inside a plug-in: the line of the program's call into it.
                             FaultCase{"plugin", "INVALID MEMORY ACCESS"},
                             // Inside a library of the source tree linked at startup: still not
                             // the program's own code.
                             FaultCase{"linked", "INVALID MEMORY ACCESS"},
                             // Inside the C library: the line of the call, as for a plug-in.
                             FaultCase{"library", "INVALID MEMORY ACCESS"},
                             // A call through a null function pointer leaves no frame to unwind.
                             FaultCase{"nullcall", "INVALID MEMORY ACCESS"},
                             // A signal that stands for no processor exception.
                             FaultCase{"abort", "UNKNOWN ERROR CODE"}),
                         [](const auto& row) { return std::string(row.param.mode); });

// The faulting instruction of a runaway recursion may be the call, the frame
// set-up or the first store into the frame: any line of the function will do.
TEST(ChildFault, StackOverflowIsReportedFromTheAlternateStack) {
    TempDir folder;
    ASSERT_FALSE(folder.path().empty());

    const ChildResult result = runDriver(folder.path(), {"overflow"}, NoDisplay);

    EXPECT_TRUE(exitedWithZero(result.status)) << "status " << result.status;
    const std::string prefix = "FaultDriver [";
    const std::string suffix = "]\r\nSTACK OVERFLOW\r\n" + std::string(64, ' ');
    ASSERT_GT(result.errorText.size(), prefix.size() + suffix.size()) << result.errorText;
    EXPECT_EQ(result.errorText.substr(0, prefix.size()), prefix);
    EXPECT_EQ(result.errorText.substr(result.errorText.size() - suffix.size()), suffix);
    const unsigned line = static_cast<unsigned>(
        std::strtoul(result.errorText.substr(prefix.size()).c_str(), nullptr, 10));
    EXPECT_GT(line, markedLine("overflow-begin"));
    EXPECT_LT(line, markedLine("overflow-end"));
    EXPECT_EQ(readFile(folder.path() / "log.log"), loggedLines("overflow"));
}

// With a display, the report goes to the helper as its one argument and the
// faulted process waits for it; the helper here only keeps what it was given.
TEST(ChildFault, WithADisplayTheHelperGetsTheReportText) {
    TempDir folder;
    ASSERT_FALSE(folder.path().empty());
    const fs::path helper = folder.path() / "box-helper";
    {
        std::ofstream script(helper);
        script << "#!/bin/sh\nprintf '%s' \"$1\" > box.txt\n";
    }
    fs::permissions(helper, fs::perms::owner_all);

    const ChildResult result = runDriver(folder.path(), {"divzero", helper.string()},
                                         {"DISPLAY=:99", "PATH=/usr/bin:/bin"});

    const std::string expected = reportText(markedLine("divzero"), "DIVISION BY ZERO ");
    EXPECT_TRUE(exitedWithZero(result.status)) << "status " << result.status;
    EXPECT_EQ(result.errorText, expected);
    EXPECT_EQ(readFile(folder.path() / "box.txt"), expected);
}

// The report is the last resort: a box that cannot be shown still ends the
// process with code 0, the text on standard error.
TEST(ChildFault, AMissingHelperStillEndsTheProcessWithCodeZero) {
    TempDir folder;
    ASSERT_FALSE(folder.path().empty());

    const ChildResult result = runDriver(
        folder.path(), {"abort", (folder.path() / "no-such-helper").string()}, {"DISPLAY=:99"});

    EXPECT_TRUE(exitedWithZero(result.status)) << "status " << result.status;
    EXPECT_EQ(result.errorText, reportText(markedLine("abort"), "UNKNOWN ERROR CODE"));
}

// Without its line helper the report still comes, naming no line, and the
// process still ends with code 0 after writing out the log.
TEST(ChildFault, AMissingLineHelperNamesLineZero) {
    TempDir folder;
    ASSERT_FALSE(folder.path().empty());

    const ChildResult result = runDriver(
        folder.path(), {"divzero", "", (folder.path() / "no-such-helper").string()}, NoDisplay);

    EXPECT_TRUE(exitedWithZero(result.status)) << "status " << result.status;
    EXPECT_EQ(result.errorText, "Corvane [0]\r\nDIVISION BY ZERO \r\n" + std::string(64, ' '));
    EXPECT_EQ(readFile(folder.path() / "log.log"), loggedLines("divzero"));
}

// The line is read from the program's file after the fault: from the file
// the program was started from, even when its name no longer leads there.
TEST(ChildFault, AProgramFileRemovedWhileRunningStillNamesTheLine) {
    TempDir folder;
    ASSERT_FALSE(folder.path().empty());
    const fs::path copy = folder.path() / "fault_driver";
    fs::copy_file(FAULT_DRIVER, copy);

    const ChildResult result = runDriver(folder.path(), {"removed"}, NoDisplay, copy.string());

    EXPECT_TRUE(exitedWithZero(result.status)) << "status " << result.status;
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(result.errorText, reportText(markedLine("divzero"), "DIVISION BY ZERO "));
}

}  // namespace
