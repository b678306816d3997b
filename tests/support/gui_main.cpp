/*
 * gui_main.cpp - main() of the GUI test binaries: GoogleTest flags, the
 * display and application shell, failure screenshots.  A binary that
 * defines its own main() does not pull this file in.
 */
#include "tests/support/gui_harness.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    /* Listing the tests (CTest's discovery) needs no display. */
    if (!GTEST_FLAG_GET(list_tests)) {
        if (!gui::open_display(&argc, argv))
            return 1;
        gui::install_failure_screenshots();
    }
    return RUN_ALL_TESTS();
}
