/*
 * help_key_test.cpp - the help key in the running program: F1 over the
 * cabinet window opens the window's page of the shipped help files, which
 * the program finds under its console root without XHELPPATH.
 */
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include "tests/support/x_session.h"

namespace {

constexpr milliseconds kTimeout{15000};

TEST(HelpKey, F1OverTheCabinetWindowShowsItsPageOfTheShippedHelp)
{
    xsession::XSession x;
    ASSERT_NE(x.display(), nullptr);
    ChildProcess program;
    ASSERT_TRUE(program.start(std::string(XR_PROGRAM_DIR) + "/rack_test", {"-d", "1", "-h", "2", "Cab003"},
                              {{"CONSOLE_ROOT", XR_DATA_ROOT}, {"XAPPLRESDIR", XR_APP_DEFAULTS_DIR}}));
    /* The work dialog carries the window's title too: once start-up has
     * hidden it, the one window left with the title is the cabinet's. */
    ASSERT_TRUE(program.wait_for_output("HideWorkDialog \n", kTimeout));
    Window cabinet = x.wait_for_windows("Cabinet Status - Cab003", 1, kTimeout, program);
    ASSERT_NE(cabinet, 0u);

    /* Over the menu bar, which has no page of its own: the window's page. */
    xsession::ScreenBox box = xsession::screen_box(x.display(), cabinet);
    EXPECT_TRUE(xsession::press_key_until(x.display(), box.x + 8, box.y + 8, XK_F1, program,
                                          "Help: file = rackfru.help, topic = Cabinet_Window\n", kTimeout));
    EXPECT_TRUE(program.wait_for_output("xh_ShowPage: Cabinet_Window\n", kTimeout));
    EXPECT_NE(x.wait_for_windows("Help", 1, kTimeout, program), 0u);
    if (HasFailure())
        std::printf("program output:\n%s\n", program.output().c_str());
    x.screenshot_failed_test();
}

} // namespace
