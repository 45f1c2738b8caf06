#include "log/LogFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

namespace corvane {
namespace {

using test::readFile;
using test::TempFolder;
using test::writeFile;

const std::string Bom = "\xEF\xBB\xBF";

std::size_t sizeOnDisk(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
}

// What has reached the file after each write. The byte order mark (3 bytes)
// is the first buffered write, so the free space starts at 4093.
struct BufferCase {
    const char* name;
    std::vector<std::size_t> writes;
    std::vector<std::size_t> onDiskAfter;
    friend std::ostream& operator<<(std::ostream& os, const BufferCase& c) { return os << c.name; }
};

class LogFileBufferTest : public ::testing::TestWithParam<BufferCase> {};

TEST_P(LogFileBufferTest, WritesReachTheFileWhenTheBufferSaysSo) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    const BufferCase& c = GetParam();
    ASSERT_EQ(c.writes.size(), c.onDiskAfter.size());

    std::string expected = Bom;
    {
        LogFile file(path);
        ASSERT_TRUE(file.open());
        for (std::size_t i = 0; i < c.writes.size(); ++i) {
            const std::string bytes(c.writes[i], static_cast<char>('a' + i));
            file.write(bytes);
            expected += bytes;
            EXPECT_EQ(sizeOnDisk(path), c.onDiskAfter[i]) << "after write " << i;
        }
    }
    // Closing writes out the rest, in order.
    EXPECT_EQ(readFile(path), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, LogFileBufferTest,
    ::testing::Values(BufferCase{"SmallWritesStayBuffered", {10, 100}, {0, 0}},
                      BufferCase{"OneBelowFreeSpaceIsCopied", {4092}, {0}},
                      BufferCase{"EqualToFreeSpaceFlushesFirst", {4093, 2}, {3, 3}},
                      BufferCase{"FullBufferThenOneByte", {4092, 1, 1}, {0, 4095, 4095}},
                      BufferCase{"JustBelowBufferSizeStartsEmptiedBuffer", {4095}, {3}},
                      BufferCase{"BufferSizeGoesStraightThrough", {4096, 5}, {4099, 4099}},
                      BufferCase{"LargeWriteAfterBufferedBytes", {100, 5000, 7}, {0, 5103, 5103}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(LogFileTest, ReplacesAnEarlierFileAtOpen) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    writeFile(path, std::string(10000, 'x'));

    {
        LogFile file(path);
        ASSERT_TRUE(file.open());
        // The old content is gone at once, not when the new one lands.
        EXPECT_EQ(sizeOnDisk(path), 0u);
        file.write("new");
    }
    EXPECT_EQ(readFile(path), Bom + "new");
}

TEST(LogFileTest, ARefusalIsSaidOnStandardErrorOncePerReason) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), path.c_str()), 0);
    LogFile file(path);

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(file.open());
    EXPECT_FALSE(file.open());
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    EXPECT_FALSE(file.open());
    EXPECT_FALSE(file.open());
    const std::string said = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(said, path +
                        ": not opened as the log file: it is a symbolic link, which is not "
                        "followed\n" +
                        path + ": not opened as the log file: it is not a regular file\n");
}

// The file may grow to `limit` bytes (a disk that fills up there); after
// `before` lines have been written as the logger writes them (text, then the
// line end), the limit is lifted and `after` more are written.
struct FullDiskCase {
    const char* name;
    off_t limit;
    int before;
    int after;
    friend std::ostream& operator<<(std::ostream& os, const FullDiskCase& c) {
        return os << c.name;
    }
};

// Lines of 46 bytes, CR LF included, each naming its number. At that length
// the first block the buffer writes out ends with a line's text, before its
// line end.
constexpr off_t LineSize = 46;

std::string numberedLine(int number) {
    char text[64];
    std::snprintf(text, sizeof text, "12:00:00 | line %05d %022d", number, 0);
    return text;
}

// Runs the case in a child process, which alone gets the limit.
void writeWithLimit(const std::string& path, const FullDiskCase& c) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Past the limit a write fails with EFBIG instead of killing the writer.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t unlimited = limit.rlim_cur;
        limit.rlim_cur = static_cast<rlim_t>(c.limit);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        {
            LogFile file(path);
            file.open();
            for (int i = 0; i < c.before + c.after; ++i) {
                if (i == c.before) {
                    file.flush();
                    limit.rlim_cur = unlimited;
                    ::setrlimit(RLIMIT_FSIZE, &limit);
                }
                file.write(numberedLine(i));
                file.write("\r\n");
            }
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

class LogFileFullDiskTest : public ::testing::TestWithParam<FullDiskCase> {};

TEST_P(LogFileFullDiskTest, TheFileKeepsWholeLinesOnly) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    const FullDiskCase& c = GetParam();
    writeWithLimit(path, c);

    std::string content = readFile(path);
    if (content.starts_with(Bom)) {
        content.erase(0, Bom.size());
    }
    // Whole lines in order, none twice; the lines written once there was
    // room again all arrived.
    std::istringstream lines(content);
    std::string line;
    int last = -1;
    int count = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.size(), static_cast<std::size_t>(LineSize - 1)) << "broken: " << line;
        ASSERT_EQ(line.back(), '\r') << line;
        const int number = std::stoi(line.substr(16, 5));
        ASSERT_EQ(line.substr(0, LineSize - 2), numberedLine(number));
        EXPECT_GT(number, last) << "out of order";
        last = number;
        count += number >= c.before ? 1 : 0;
    }
    EXPECT_TRUE(content.empty() || content.back() == '\n');
    EXPECT_EQ(count, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, LogFileFullDiskTest,
    ::testing::Values(FullDiskCase{"InsideTheByteOrderMark", 2, 100, 100},
                      FullDiskCase{"AtALineEnd", 3 + LineSize * 20, 100, 100},
                      FullDiskCase{"InsideALine", 3 + LineSize * 20 + 21, 100, 100},
                      FullDiskCase{"BetweenCrAndLf", 3 + LineSize * 20 + 45, 100, 100},
                      // The first block ends with the text of line 88; its
                      // line end, which starts the next block, finds no room.
                      FullDiskCase{"AfterABlockThatEndsInsideALine", 3 + LineSize * 88 + 44, 100,
                                   100},
                      FullDiskCase{"InTheSecondBlock", 3 + LineSize * 95 + 7, 100, 100}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(LogFileTest, FlushForFaultWritesBufferedBytesOnce) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");

    auto file = std::make_unique<LogFile>(path);
    ASSERT_TRUE(file->open());
    file->write("last words\r\n");
    ASSERT_EQ(sizeOnDisk(path), 0u);

    LogFile::flushForFault();
    EXPECT_EQ(readFile(path), Bom + "last words\r\n");

    // Neither a second report nor the normal close repeats them.
    LogFile::flushForFault();
    file.reset();
    EXPECT_EQ(readFile(path), Bom + "last words\r\n");

    // A destroyed file is no longer the fault handler's target.
    LogFile::flushForFault();
}

TEST(LogFileTest, FlushForFaultWorksFromASignalHandler) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct sigaction action {};
        action.sa_handler = [](int) {
            LogFile::flushForFault();
            ::_exit(0);
        };
        ::sigaction(SIGSEGV, &action, nullptr);
        LogFile file(path);
        file.open();
        file.write("before the fault\r\n");
        ::raise(SIGSEGV);
        ::_exit(1);  // Not reached: the handler ends the process.
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(path), Bom + "before the fault\r\n");
}

}  // namespace
}  // namespace corvane
