/*
 * package_test.cpp - the Debian packages as an installation gets them:
 * unpacked into a scratch tree (by unpack_packages.cmake, the fixture of
 * this test), the packaged rack_test starts with the packaged libqmx,
 * app-defaults, sample configuration and help files, shows the cabinet
 * window and its help page; and every data file the build made for the
 * console root is in the packages.
 */
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include <X11/keysym.h>

#include "tests/support/x_session.h"

namespace {

namespace fs = std::filesystem;

constexpr milliseconds kTimeout{15000};
const std::string kRoot = XR_PACKAGE_ROOT;

/* The files under `top` (relative names), without the build's own marks
 * and the help indexes the program writes at run time. */
std::set<std::string> data_files(const fs::path &top)
{
    std::set<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(top, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() || name.starts_with(".") || name.ends_with(".index"))
            continue;
        names.insert(fs::relative(it->path(), top).string());
    }
    return names;
}

TEST(Package, HoldsEveryDataFileTheBuildMade)
{
    for (const char *folder : {"/opt/console/icons", "/opt/console/nls", "/opt/console/help"}) {
        std::set<std::string> built = data_files(std::string(XR_DATA_ROOT) + folder);
        ASSERT_FALSE(built.empty()) << folder;
        EXPECT_EQ(data_files(kRoot + folder), built) << folder;
    }
}

TEST(Package, UnpackedRackTestShowsTheCabinetWindowAndItsHelp)
{
    xsession::XSession x;
    ASSERT_NE(x.display(), nullptr);
    ChildProcess program;
    /* No PATH or library path into the tree: the program finds libqmx by
     * its run path, everything else under the console root. */
    ASSERT_TRUE(program.start(kRoot + "/usr/bin/rack_test", {"-d", "1", "-h", "2", "Cab003"},
                              {{"CONSOLE_ROOT", kRoot}, {"XAPPLRESDIR", kRoot + "/etc/X11/app-defaults/"}}));
    /* The work dialog carries the window's title too: once start-up has
     * hidden it, the one window left with the title is the cabinet's. */
    ASSERT_TRUE(program.wait_for_output("HideWorkDialog \n", kTimeout)) << program.output();
    Window cabinet = x.wait_for_windows("Cabinet Status - Cab003", 1, kTimeout, program);
    ASSERT_NE(cabinet, 0u);
    xsession::ScreenBox box = xsession::screen_box(x.display(), cabinet);
    EXPECT_TRUE(xsession::press_key_until(x.display(), box.x + 8, box.y + 8, XK_F1, program,
                                          "xh_ShowPage: Cabinet_Window\n", kTimeout));
    EXPECT_NE(x.wait_for_windows("Help", 1, kTimeout, program), 0u);
    if (HasFailure())
        std::printf("program output:\n%s\n", program.output().c_str());
    x.screenshot_failed_test();
}

} // namespace
