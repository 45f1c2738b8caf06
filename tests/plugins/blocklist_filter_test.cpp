#include "BlocklistFilter.h"

#include <corvane/filter.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempFolder.h"

namespace corvane::blocklist {
namespace {

using namespace std::chrono_literals;
using Clock = BlocklistFilter::Clock;
using test::TempFolder;

class BlocklistFiles : public testing::Test {
protected:
    TempFolder folder;
    std::vector<std::string> reports;
    BlocklistFilter filter{folder.path().string(),
                           [this](std::string_view line) { reports.emplace_back(line); }};
    Clock::time_point now{};

    std::int32_t query(std::u16string_view name) { return filter.query(name, now); }
    std::string reported(std::string_view file, std::string_view text) const {
        return "blocklist plug-in: " + folder.file(file) + std::string(text);
    }
    std::string unreadable(std::string_view file, std::string_view text) const {
        return "blocklist plug-in: cannot read " + folder.file(file) + std::string(text);
    }
};

// Each reading says what it gave, and a file that stays unreadable is said
// once for each reason, not at every check.
TEST_F(BlocklistFiles, ReportsEachReadingAndEachNewFailureOnce) {
    folder.write("blocklist.txt", "ads.example\nnot a name\n@@||ok.ads.example^|\n# note\nbad/");
    folder.write("allowlist.txt", "fine.example\n@@||also.example^\n");
    EXPECT_EQ(query(u"ok.ads.example"), Forward);
    EXPECT_EQ(reports,
              (std::vector<std::string>{
                  reported("blocklist.txt",
                           ": 5 lines read, 2 skipped (the first is line 2); "
                           "1 name to block, 1 exception"),
                  reported("allowlist.txt", ": 2 lines read, 0 skipped; 2 names to allow")}));
    reports.clear();
    std::filesystem::remove(folder.path() / "allowlist.txt");
    std::filesystem::remove(folder.path() / "blocklist.txt");
    std::filesystem::create_directory(folder.path() / "blocklist.txt");
    for (int check = 0; check < 3; ++check) {
        now += 1s;
        EXPECT_EQ(query(u"ads.example"), DefaultVerdict);
    }
    std::filesystem::remove(folder.path() / "blocklist.txt");
    std::filesystem::create_symlink("/proc/self/mem", folder.path() / "blocklist.txt");
    now += 1s;
    EXPECT_EQ(query(u"ads.example"), DefaultVerdict);
    EXPECT_EQ(reports,
              (std::vector<std::string>{unreadable("blocklist.txt",
                                                   " (not a regular file); the names read from it "
                                                   "before stay in force until it can be read"),
                                        reported("allowlist.txt", ": not found, so an empty list"),
                                        unreadable("blocklist.txt",
                                                   " (Input/output error); the names read from it "
                                                   "before stay in force until it can be read")}));
}

TEST_F(BlocklistFiles, MissingFilesLetEverythingThrough) {
    EXPECT_EQ(query(u"ads.example"), Forward);
    folder.write("blocklist.txt", "ads.example\n");
    now += 1s;
    EXPECT_EQ(query(u"ads.example"), BlockReply);
    std::filesystem::remove(folder.path() / "blocklist.txt");
    now += 1s;
    EXPECT_EQ(query(u"ads.example"), Forward);
}

TEST_F(BlocklistFiles, AllowListOverridesBlockList) {
    folder.write("blocklist.txt", "0.0.0.0 example.com open.example\n");
    folder.write("allowlist.txt", "good.example.com\nOPEN.example\n");
    EXPECT_EQ(query(u"example.com"), BlockReply);
    EXPECT_EQ(query(u"bad.example.com"), BlockReply);
    EXPECT_EQ(query(u"good.example.com"), Forward);
    EXPECT_EQ(query(u"cdn.good.example.com"), Forward);
    EXPECT_EQ(query(u"open.example"), Forward);
    EXPECT_EQ(query(u"unlisted.example"), Forward);
}

TEST_F(BlocklistFiles, AdblockRulesAndExceptionsWorkInBothFiles) {
    folder.write("blocklist.txt",
                 "[Adblock Plus 2.0]\n||ads.example^\n@@||ok.ads.example^\n||news.example^\n");
    folder.write("allowlist.txt", "||fine.ads.example^\n@@||also.ads.example^\n");
    EXPECT_EQ(query(u"x.ads.example"), BlockReply);
    EXPECT_EQ(query(u"ok.ads.example"), Forward);
    EXPECT_EQ(query(u"cdn.ok.ads.example"), Forward);
    EXPECT_EQ(query(u"fine.ads.example"), Forward);
    EXPECT_EQ(query(u"also.ads.example"), Forward);
    EXPECT_EQ(query(u"news.example"), BlockReply);
    // The block list's exceptions go with it when it changes.
    folder.write("blocklist.txt", "ads.example\n");
    now += 1s;
    EXPECT_EQ(query(u"ok.ads.example"), BlockReply);
    EXPECT_EQ(query(u"fine.ads.example"), Forward);
}

TEST_F(BlocklistFiles, ChecksForChangesAtMostOncePerInterval) {
    folder.write("blocklist.txt", "ads.example\n");
    EXPECT_EQ(query(u"ads.example"), BlockReply);
    folder.write("blocklist.txt", "tracker.example\n@verdict Block\n");
    now += 999ms;
    EXPECT_EQ(query(u"ads.example"), BlockReply);
    EXPECT_EQ(query(u"tracker.example"), Forward);
    now += 1ms;
    EXPECT_EQ(query(u"ads.example"), Forward);
    EXPECT_EQ(query(u"tracker.example"), Block);
    // Dropping the directive brings back the default verdict: the reply that
    // fails a lookup at once.
    folder.write("blocklist.txt", "tracker.example\n");
    now += 1s;
    EXPECT_EQ(query(u"tracker.example"), BlockReply);
}

TEST_F(BlocklistFiles, SeesAReplacedFileEvenWithTheSameSizeAndTime) {
    const std::filesystem::path list = folder.path() / "blocklist.txt";
    folder.write("blocklist.txt", "aaa.example\n");
    EXPECT_EQ(query(u"aaa.example"), BlockReply);
    struct stat before {};
    ASSERT_EQ(stat(list.c_str(), &before), 0);
    const timespec times[2] = {before.st_atim, before.st_mtim};

    // Editors that save by renaming a new file over the old one: new inode.
    folder.write("blocklist.new", "bbb.example\n");
    ASSERT_EQ(utimensat(AT_FDCWD, (folder.path() / "blocklist.new").c_str(), times, 0), 0);
    std::filesystem::rename(folder.path() / "blocklist.new", list);
    now += 1s;
    EXPECT_EQ(query(u"aaa.example"), Forward);
    EXPECT_EQ(query(u"bbb.example"), BlockReply);

    // Rewritten in place to another size, the time put back.
    struct stat renamed {};
    ASSERT_EQ(stat(list.c_str(), &renamed), 0);
    const timespec renamedTimes[2] = {renamed.st_atim, renamed.st_mtim};
    folder.write("blocklist.txt", "cc.example\n");
    ASSERT_EQ(utimensat(AT_FDCWD, list.c_str(), renamedTimes, 0), 0);
    now += 1s;
    EXPECT_EQ(query(u"bbb.example"), Forward);
    EXPECT_EQ(query(u"cc.example"), BlockReply);
}

TEST_F(BlocklistFiles, UnreadableListKeepsThePreviousNamesUntilFixed) {
    folder.write("blocklist.txt", "ads.example\n");
    EXPECT_EQ(query(u"ads.example"), BlockReply);
    std::filesystem::remove(folder.path() / "blocklist.txt");
    std::filesystem::create_directory(folder.path() / "blocklist.txt");
    now += 1s;
    EXPECT_EQ(query(u"ads.example"), BlockReply);
    // Opening a FIFO for reading would wait for a writer that never comes.
    std::filesystem::remove(folder.path() / "blocklist.txt");
    ASSERT_EQ(mkfifo((folder.path() / "blocklist.txt").c_str(), 0600), 0);
    now += 1s;
    EXPECT_EQ(query(u"ads.example"), BlockReply);
    // A regular file whose read fails: what was read of it must not count.
    std::filesystem::remove(folder.path() / "blocklist.txt");
    std::filesystem::create_symlink("/proc/self/mem", folder.path() / "blocklist.txt");
    now += 1s;
    EXPECT_EQ(query(u"ads.example"), BlockReply);
    std::filesystem::remove(folder.path() / "blocklist.txt");
    folder.write("blocklist.txt", "other.example\n");
    now += 1s;
    EXPECT_EQ(query(u"ads.example"), Forward);
    EXPECT_EQ(query(u"other.example"), BlockReply);
}

// The built plug-in, loaded as the proxy loads it, from a folder that holds
// its lists. The one real pause in these tests: the plug-in's own clock must
// pass its recheck interval before an edit can show.
TEST(BlocklistPlugin, AnswersFromTheListsBesideItAndSeesEdits) {
    TempFolder folder;
    const std::filesystem::path library = folder.path() / "Filter.DLL";
    std::filesystem::copy_file(BLOCKLIST_PLUGIN, library);
    folder.write("blocklist.txt",
                 "# hosts style\r\n0.0.0.0 ads.example tracker.example # both\r\n"
                 "@verdict BlockReply\r\nnot a line\r\n");
    folder.write("allowlist.txt", "ok.ads.example\n");

    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const auto filter = reinterpret_cast<FilterQueryFunction>(dlsym(handle, "FilterQuery"));
    ASSERT_NE(filter, nullptr);

    EXPECT_EQ(filter(u"ads.example"), BlockReply);
    EXPECT_EQ(filter(u"img.Tracker.Example"), BlockReply);
    EXPECT_EQ(filter(u"ok.ads.example"), Forward);
    EXPECT_EQ(filter(u"example"), Forward);
    EXPECT_EQ(filter(u""), Forward);
    EXPECT_EQ(filter(nullptr), Forward);

    folder.write("blocklist.txt", "@verdict Block\nnews.example\n");
    std::this_thread::sleep_for(1100ms);
    EXPECT_EQ(filter(u"ads.example"), Forward);
    EXPECT_EQ(filter(u"news.example"), Block);
    EXPECT_EQ(dlclose(handle), 0);
}

}  // namespace
}  // namespace corvane::blocklist
