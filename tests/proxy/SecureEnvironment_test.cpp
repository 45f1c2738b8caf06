// What a program running with more rights than its user keeps of the
// environment the user handed it.
#include "proxy/SecureEnvironment.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string_view>

namespace corvane {
namespace {

struct EntryCase {
    std::string_view entry;
    bool kept;
    friend std::ostream& operator<<(std::ostream& os, const EntryCase& c) { return os << c.entry; }
};

class SecureEnvironmentTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(SecureEnvironmentTest, KeepsTheSessionAndTheLocaleAndNothingThatLoadsCode) {
    EXPECT_EQ(keptInSecureMode(GetParam().entry), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SecureEnvironmentTest,
    ::testing::Values(
        // The session, the language, the zone.
        EntryCase{"DISPLAY=:0", true}, EntryCase{"XAUTHORITY=/home/u/.Xauthority", true},
        EntryCase{"WAYLAND_DISPLAY=wayland-0", true}, EntryCase{"XDG_SESSION_TYPE=x11", true},
        EntryCase{"XDG_RUNTIME_DIR=/run/user/1000", true}, EntryCase{"HOME=/home/u", true},
        EntryCase{"LANG=de_DE.UTF-8", true}, EntryCase{"LC_ALL=C.UTF-8", true},
        EntryCase{"LC_TIME=en_GB.UTF-8", true}, EntryCase{"LANGUAGE=de:en", true},
        EntryCase{"TZ=Europe/Berlin", true}, EntryCase{"PATH=/usr/bin:/bin", true},
        EntryCase{"DISPLAY=", true},
        // A platform by its name; its options may name files.
        EntryCase{"QT_QPA_PLATFORM=offscreen", true},
        EntryCase{"QT_QPA_PLATFORM=wayland;xcb", true},
        EntryCase{"QT_QPA_PLATFORM=offscreen:configfile=/tmp/x.json", false},
        EntryCase{"QT_QPA_PLATFORM=", false},
        // Folders code is loaded from, and choices of modules to load.
        EntryCase{"QT_PLUGIN_PATH=/home/u/plugins", false},
        EntryCase{"QT_QPA_PLATFORM_PLUGIN_PATH=/home/u/platforms", false},
        EntryCase{"QT_QPA_PLATFORMTHEME=gtk3", false}, EntryCase{"QT_STYLE_OVERRIDE=x", false},
        EntryCase{"QT_QPA_GENERIC_PLUGINS=evdevmouse", false},
        EntryCase{"QT_XCB_GL_INTEGRATION=xcb_egl", false}, EntryCase{"QT_IM_MODULE=ibus", false},
        EntryCase{"QT_DEBUG_PLUGINS=1", false}, EntryCase{"LIBGL_DRIVERS_PATH=/home/u/dri", false},
        EntryCase{"__EGL_VENDOR_LIBRARY_DIRS=/home/u/egl", false},
        EntryCase{"GTK_PATH=/home/u/gtk", false}, EntryCase{"GTK_MODULES=evil", false},
        EntryCase{"LD_PRELOAD=/home/u/evil.so", false}, EntryCase{"LD_LIBRARY_PATH=/home/u", false},
        EntryCase{"GCONV_PATH=/home/u/gconv", false}, EntryCase{"LOCPATH=/home/u/locale", false},
        EntryCase{"FONTCONFIG_FILE=/home/u/fonts.conf", false},
        EntryCase{"XDG_DATA_DIRS=/home/u/share", false},
        EntryCase{"XDG_CURRENT_DESKTOP=GNOME", false},
        EntryCase{"DBUS_SESSION_BUS_ADDRESS=unix:path=/tmp/bus", false},
        // Names that only look like kept ones, and entries without a name.
        EntryCase{"LC_=x", false}, EntryCase{"DISPLAYX=:0", false}, EntryCase{"display=:0", false},
        EntryCase{"HOME", false}, EntryCase{"=HOME", false}));

}  // namespace
}  // namespace corvane
