#include "log/FaultBoxLauncher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace corvane {
namespace {

struct DisplayCase {
    const char* name;
    std::vector<const char*> environment;
    bool available;
};

class DisplayAvailable : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayAvailable, DecidesWhetherABoxCanBeSeen) {
    std::vector<const char*> environment = GetParam().environment;
    environment.push_back(nullptr);
    EXPECT_EQ(displayAvailable(environment.data()), GetParam().available);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, DisplayAvailable,
    ::testing::Values(
        DisplayCase{"NoDisplay", {"PATH=/bin", "HOME=/root"}, false},
        DisplayCase{"X11", {"PATH=/bin", "DISPLAY=:0"}, true},
        DisplayCase{"Wayland", {"WAYLAND_DISPLAY=wayland-0"}, true},
        DisplayCase{"EmptyDisplay", {"DISPLAY=", "WAYLAND_DISPLAY="}, false},
        DisplayCase{"NameIsOnlyAPrefix", {"DISPLAYS=:0", "XDISPLAY=:0"}, false},
        DisplayCase{"Offscreen", {"DISPLAY=:0", "QT_QPA_PLATFORM=offscreen"}, false},
        DisplayCase{"Minimal", {"QT_QPA_PLATFORM=minimal", "DISPLAY=:0"}, false},
        DisplayCase{
            "OffscreenWithOptions", {"DISPLAY=:0", "QT_QPA_PLATFORM=offscreen:size=9"}, false},
        DisplayCase{"OtherPlatform", {"DISPLAY=:0", "QT_QPA_PLATFORM=xcb"}, true},
        DisplayCase{"PlatformNamePrefix", {"DISPLAY=:0", "QT_QPA_PLATFORM=offscreenish"}, true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(DisplayAvailable, NoEnvironmentAtAll) {
    EXPECT_FALSE(displayAvailable(nullptr));
}

TEST(FaultBoxLauncher, FindsTheHelperBesideTheRunningProgram) {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    std::string expected(self, static_cast<std::size_t>(length));
    expected = expected.substr(0, expected.rfind('/') + 1) + FaultBoxProgram;

    FaultBoxLauncher launcher;
    ASSERT_TRUE(launcher.prepare(nullptr));
    EXPECT_EQ(std::string(launcher.helperPath()), expected);
}

TEST(FaultBoxLauncher, TakesAGivenHelperAsIsAndRefusesAnEmptyOne) {
    FaultBoxLauncher launcher;
    ASSERT_TRUE(launcher.prepare("/opt/box"));
    EXPECT_STREQ(launcher.helperPath(), "/opt/box");
    EXPECT_FALSE(launcher.prepare(""));
    EXPECT_EQ(launcher.helperPath(), nullptr);
}

// A temporary tree laid out like an installation: bin/ for the program,
// lib/corvane/ for its private files.
class HelperLayout : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-faultbox-layout.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        std::filesystem::create_directories(root_ / "bin");
        std::filesystem::create_directories(root_ / "lib/corvane");
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    std::string path(const char* relative) const { return (root_ / relative).string(); }

    void place(const char* relative, std::filesystem::perms mode) const {
        std::ofstream(root_ / relative) << "#!/bin/sh\n";
        std::filesystem::permissions(root_ / relative, mode);
    }

    std::filesystem::path root_;
};

constexpr auto Executable = std::filesystem::perms::owner_all;
constexpr auto NotExecutable = std::filesystem::perms::owner_read;

TEST_F(HelperLayout, InstalledHelperIsFoundWhenNoneIsBesideTheProgram) {
    place("lib/corvane/corvane-faultbox", Executable);
    FaultBoxLauncher launcher;
    ASSERT_TRUE(launcher.prepareForProgram(path("bin/corvane").c_str()));
    EXPECT_EQ(std::string(launcher.helperPath()), path("bin/../lib/corvane/corvane-faultbox"));
}

TEST_F(HelperLayout, HelperBesideTheProgramComesFirst) {
    place("bin/corvane-faultbox", Executable);
    place("lib/corvane/corvane-faultbox", Executable);
    FaultBoxLauncher launcher;
    ASSERT_TRUE(launcher.prepareForProgram(path("bin/corvane").c_str()));
    EXPECT_EQ(std::string(launcher.helperPath()), path("bin/corvane-faultbox"));
}

TEST_F(HelperLayout, WithoutAnyHelperThePathBesideTheProgramStays) {
    place("lib/corvane/corvane-faultbox", NotExecutable);
    FaultBoxLauncher launcher;
    ASSERT_TRUE(launcher.prepareForProgram(path("bin/corvane").c_str()));
    EXPECT_EQ(std::string(launcher.helperPath()), path("bin/corvane-faultbox"));
}

TEST_F(HelperLayout, ProgramPathWithoutAFolderIsRefused) {
    FaultBoxLauncher launcher;
    EXPECT_FALSE(launcher.prepareForProgram("corvane"));
    EXPECT_EQ(launcher.helperPath(), nullptr);
}

}  // namespace
}  // namespace corvane
