#include "log/Logger.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "attribution/Asker.h"
#include "attribution/ClientEndpoint.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempFolder.h"

namespace corvane {
namespace {

using test::FakeClock;
using test::readFile;
using test::TempFolder;
using test::writeFile;

const std::string Bom = "\xEF\xBB\xBF";

constexpr std::int64_t at(int h, int m, int s) {
    return 20000 * 86400 + h * 3600 + m * 60 + s;
}

class RecordingView final : public LogView {
public:
    void appendLine(std::u16string_view line) override {
        lines.emplace_back(line);
        if (onLine) {
            onLine();
        }
    }
    void appendQueryLine(std::u16string_view line, const ClientKey& client,
                         const Asker& asker) override {
        appendLine(line);
        askerPids.push_back(asker.pid);
        askerPorts.push_back(client.port);
    }
    void askerSettled(const ClientKey& client, const Asker& asker) override {
        settledPorts.push_back(client.port);
        askerPids.push_back(asker.pid);
    }
    std::vector<std::u16string> lines;
    std::vector<std::int32_t> askerPids;
    std::vector<std::uint16_t> askerPorts;
    std::vector<std::uint16_t> settledPorts;
    std::function<void()> onLine;
};

TEST(LoggerTest, FileHoldsBomThenEachLineWithPrefixAndCrLf) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    writeFile(path, "an earlier run\r\n");
    FakeClock clock;
    {
        Logger log(clock, path);
        clock.now = at(8, 4, 3);
        log.logLine(u"Failed to init network runtime");
        clock.now = -1;  // A date the clock cannot represent.
        log.logLine(u"Q  [0A1B] caf\u00E9.example");
    }
    EXPECT_EQ(readFile(path), Bom +
                                  "08:04:03 | Failed to init network runtime\r\n"
                                  "00:00:00 | Q  [0A1B] caf\xC3\xA9.example\r\n");
}

// A line about a query carries its asker to the view and nothing of it to
// the text: the file and the view get the very bytes logLine gives them, a
// hostile name's control characters escaped alike.
TEST(LoggerTest, AQueryLineIsTheSameTextWithItsAskerBesideItForTheViewOnly) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    FakeClock clock;
    clock.now = at(9, 30, 0);
    const std::u16string messages[] = {u"Q  [1234] : www.example", u"A  [1234] = 62b",
                                       u"Q  [0001] : evil\n09:30:00 | forged\u202E",
                                       u"Q  [0002] : block-F (x\r\u0001y)"};
    Asker asker;
    asker.state = AskerState::Process;
    asker.pid = 2412;
    asker.program = "firefox-esr";
    const ClientKey client{IpProtocol::Udp, 0x0100007F, 51234};
    RecordingView plainView;
    RecordingView queryView;
    {
        Logger plain(clock, dir.file("plain.log"));
        Logger query(clock, dir.file("query.log"));
        plain.setView(&plainView);
        query.setView(&queryView);
        for (const std::u16string& message : messages) {
            plain.logLine(message);
            query.queryLine(message, client, asker);
        }
        query.askerSettled(client, asker);
    }
    EXPECT_EQ(readFile(dir.file("query.log")), readFile(dir.file("plain.log")));
    EXPECT_EQ(queryView.lines, plainView.lines);
    EXPECT_EQ(queryView.askerPids, (std::vector<std::int32_t>{2412, 2412, 2412, 2412, 2412}));
    EXPECT_EQ(queryView.askerPorts.size(), 4u);
    EXPECT_EQ(queryView.settledPorts, std::vector<std::uint16_t>{51234});
    EXPECT_TRUE(plainView.askerPids.empty());
}

// Every line carries the time of its own reading, however many lines share
// a second and whichever way the clock moves between them.
TEST(LoggerTest, EachLineHasThePrefixOfItsOwnReading) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    FakeClock clock;
    RecordingView view;
    Logger log(clock, dir.file("log.log"));
    log.setView(&view);
    const std::int64_t readings[] = {0,           0,           at(1, 2, 3), at(1, 2, 3),
                                     at(1, 2, 4), at(1, 2, 3), -1,          at(23, 59, 59)};
    for (std::int64_t reading : readings) {
        clock.now = reading;
        log.logLine(u"x");
    }
    const std::vector<std::u16string> expected = {u"00:00:00 | x", u"00:00:00 | x", u"01:02:03 | x",
                                                  u"01:02:03 | x", u"01:02:04 | x", u"01:02:03 | x",
                                                  u"00:00:00 | x", u"23:59:59 | x"};
    EXPECT_EQ(view.lines, expected);
}

TEST(LoggerTest, ViewGetsTheLineBeforeTheFileAndAfterTheOpen) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    FakeClock clock;
    clock.now = at(21, 5, 7);
    // Long enough to bypass the buffer, so the file shows when it was written.
    const std::u16string message(5000, u'm');

    RecordingView view;
    std::vector<bool> fileExisted;
    std::vector<std::string> fileAtView;
    view.onLine = [&] {
        struct stat st {};
        fileExisted.push_back(::stat(path.c_str(), &st) == 0);
        fileAtView.push_back(readFile(path));
    };

    Logger log(clock, path);
    log.setView(&view);
    log.logLine(message);

    ASSERT_EQ(view.lines.size(), 1u);
    EXPECT_EQ(view.lines[0], u"21:05:07 | " + message);
    ASSERT_EQ(fileExisted.size(), 1u);
    EXPECT_TRUE(fileExisted[0]);
    EXPECT_EQ(fileAtView[0], "");
    EXPECT_EQ(readFile(path), Bom + "21:05:07 | " + std::string(5000, 'm'));
}

// A question name may hold any byte. Line breaks and other control
// characters in a message must not split the line or forge another one, in
// the file or in the view; printable text, Latin-1 letters included, stays.
TEST(LoggerTest, ControlCharactersInAMessageAreWrittenAsHexEscapes) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    FakeClock clock;
    clock.now = at(1, 2, 3);
    RecordingView view;
    {
        Logger log(clock, path);
        log.setView(&view);
        // A name that tries to end its line and forge an answer line, then
        // the ends of both control ranges and the first printable letters.
        std::u16string message = u"Q  [0001] : a\r\n12:00:00 | A  [0001] = 45b";
        message += std::u16string(1, u'\0') + u"\x1F\x7F\x85\x9F\xA0\xFF";
        log.logLine(message);
    }
    const std::u16string expected =
        u"01:02:03 | Q  [0001] : a\\x0D\\x0A12:00:00 | A  [0001] = 45b"
        u"\\x00\\x1F\\x7F\\x85\\x9F\xA0\xFF";
    ASSERT_EQ(view.lines.size(), 1u);
    EXPECT_EQ(view.lines[0], expected);
    EXPECT_EQ(readFile(path), Bom +
                                  "01:02:03 | Q  [0001] : a\\x0D\\x0A12:00:00 | A  [0001] = 45b"
                                  "\\x00\\x1F\\x7F\\x85\\x9F\xC2\xA0\xC3\xBF\r\n");
}

// A name may spell out an escape: its backslash is escaped in turn, so that
// it never logs like the character the escape stands for.
TEST(LoggerTest, ABackslashIsEscapedSoThatNoEscapeCanBeForged) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    FakeClock clock(0);  // midnight
    RecordingView view;
    {
        Logger log(clock, path);
        log.setView(&view);
        log.logLine(u"Q  [0001] : \\x0A");
        log.logLine(u"Q  [0001] : \n");
    }
    ASSERT_EQ(view.lines.size(), 2u);
    EXPECT_EQ(view.lines[0], u"00:00:00 | Q  [0001] : \\x5Cx0A");
    EXPECT_EQ(view.lines[1], u"00:00:00 | Q  [0001] : \\x0A");
    EXPECT_EQ(readFile(path), Bom +
                                  "00:00:00 | Q  [0001] : \\x5Cx0A\r\n"
                                  "00:00:00 | Q  [0001] : \\x0A\r\n");
}

TEST(LoggerTest, LinesStayBufferedAndTextAndLineEndAreSeparateWrites) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    FakeClock clock;
    Logger log(clock, path);
    // Each line is 11 + 87 + 2 = 100 bytes on disk.
    for (int i = 0; i < 40; ++i) {
        log.logLine(std::u16string(87, u'q'));
    }
    // 3 + 4000 bytes, nothing flushed per line.
    EXPECT_EQ(readFile(path), "");

    // 92 bytes of text fit into the 93 free bytes; the line end then does
    // not, and pushes out everything up to and including that text.
    log.logLine(std::u16string(81, u'r'));
    EXPECT_EQ(readFile(path).size(), 3u + 4000u + 92u);
}

// A line waits in the buffer for at most a second, counted from the first
// line that waits; with nothing waiting there is no deadline at all, so an
// idle program need not wake up.
TEST(LoggerTest, HeldLinesComeDueOneSecondAfterTheFirstAndAreWrittenOutThen) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("log.log");
    FakeClock clock;
    clock.now = at(9, 0, 0);
    Logger log(clock, path);
    EXPECT_EQ(log.msUntilWriteOut(), Log::NothingHeld);

    clock.monotonic = 5000;
    log.logLine(u"first");
    clock.monotonic = 5400;
    log.logLine(u"second");
    EXPECT_EQ(log.msUntilWriteOut(), 600);
    log.writeOutDue();
    EXPECT_EQ(readFile(path), "");

    clock.monotonic = 6000;
    EXPECT_EQ(log.msUntilWriteOut(), 0);
    log.writeOutDue();
    EXPECT_EQ(readFile(path), Bom + "09:00:00 | first\r\n09:00:00 | second\r\n");
    EXPECT_EQ(log.msUntilWriteOut(), Log::NothingHeld);

    // The next line starts a deadline of its own.
    clock.monotonic = 9000;
    log.logLine(u"third");
    EXPECT_EQ(log.msUntilWriteOut(), Logger::WriteOutDelayMs);
}

// Ways the file can be impossible to create that go away later.
struct BlockedOpenCase {
    const char* name;
    std::function<bool(const std::string& dir, const std::string& path)> block;
    std::function<bool(const std::string& dir, const std::string& path)> unblock;
    friend std::ostream& operator<<(std::ostream& os, const BlockedOpenCase& c) {
        return os << c.name;
    }
};

class LoggerRetryTest : public ::testing::TestWithParam<BlockedOpenCase> {};

TEST_P(LoggerRetryTest, RetriesTheOpenOnEveryLineUntilItWorks) {
    TempFolder root;
    ASSERT_TRUE(root.ok());
    const std::string dir = root.file("work");
    const std::string path = dir + "/log.log";
    ASSERT_TRUE(GetParam().block(dir, path));

    FakeClock clock;
    RecordingView view;
    {
        Logger log(clock, path);
        log.setView(&view);
        clock.now = at(1, 2, 3);
        log.logLine(u"first");
        log.logLine(u"second");
        ASSERT_TRUE(GetParam().unblock(dir, path));
        clock.now = at(1, 2, 4);
        log.logLine(u"third");
        log.logLine(u"fourth");
    }
    // The view saw everything; the file starts with the first line that could
    // be written, right after the byte order mark.
    EXPECT_EQ(view.lines.size(), 4u);
    EXPECT_EQ(readFile(path), Bom + "01:02:04 | third\r\n01:02:04 | fourth\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Blockers, LoggerRetryTest,
    ::testing::Values(BlockedOpenCase{"DirectoryInTheFilesPlace",
                                      [](const std::string& dir, const std::string& path) {
                                          return ::mkdir(dir.c_str(), 0755) == 0 &&
                                                 ::mkdir(path.c_str(), 0755) == 0;
                                      },
                                      [](const std::string&, const std::string& path) {
                                          return ::rmdir(path.c_str()) == 0;
                                      }},
                      BlockedOpenCase{"FolderCreatedLater",
                                      [](const std::string&, const std::string&) { return true; },
                                      [](const std::string& dir, const std::string&) {
                                          return ::mkdir(dir.c_str(), 0755) == 0;
                                      }},
                      // A planted link is not followed: the file it names
                      // keeps its bytes.
                      BlockedOpenCase{"LinkToAnotherFile",
                                      [](const std::string& dir, const std::string& path) {
                                          writeFile(dir + ".victim", "precious");
                                          return ::mkdir(dir.c_str(), 0755) == 0 &&
                                                 ::symlink((dir + ".victim").c_str(),
                                                           path.c_str()) == 0;
                                      },
                                      [](const std::string& dir, const std::string& path) {
                                          return readFile(dir + ".victim") == "precious" &&
                                                 ::unlink(path.c_str()) == 0;
                                      }},
                      // Nor is a link to nothing: no file appears where it points.
                      BlockedOpenCase{"LinkToNothing",
                                      [](const std::string& dir, const std::string& path) {
                                          return ::mkdir(dir.c_str(), 0755) == 0 &&
                                                 ::symlink((dir + ".planted").c_str(),
                                                           path.c_str()) == 0;
                                      },
                                      [](const std::string& dir, const std::string& path) {
                                          return ::access((dir + ".planted").c_str(), F_OK) != 0 &&
                                                 ::unlink(path.c_str()) == 0;
                                      }},
                      // A FIFO with no reader would block an open for writing.
                      BlockedOpenCase{"FifoInTheFilesPlace",
                                      [](const std::string& dir, const std::string& path) {
                                          return ::mkdir(dir.c_str(), 0755) == 0 &&
                                                 ::mkfifo(path.c_str(), 0644) == 0;
                                      },
                                      [](const std::string&, const std::string& path) {
                                          return ::unlink(path.c_str()) == 0;
                                      }}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace corvane
