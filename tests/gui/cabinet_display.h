/*
 * cabinet_display.h - the cabinet window as start-up builds it, trees put on
 * it with load_status_tree, and the questions the tests ask of it.
 */
#ifndef XR_TESTS_GUI_CABINET_DISPLAY_H
#define XR_TESTS_GUI_CABINET_DISPLAY_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include "app/cabstat_common.h"
#include "app/chassis_views.h"
#include "app/layouts/rack_windows.h"
#include "app/rack_view.h"
#include "app/s_get_colors.h"
#include "app/s_rack_disp.h"
#include "base/console_path.h"
#include "base/motif_str.h"
#include "base/process.h"
#include "base/trace.h"
#include "tests/support/gui_harness.h"
#include "tests/support/status_tree_loader.h"
#include "ui/picture_cache.h"
#include "ui/x_util.h"

namespace display {

constexpr int kWaitMs = 4000;
#define TEST_ICONS "/opt/console/icons/"

/* Processes events until the server has nothing more to send. */
inline void settle()
{
    for (int round = 0; round < 50; ++round) {
        XSync(XtDisplay(Toplevel), False);
        if (!XtAppPending(app_context))
            return;
        gui::pump_pending();
    }
}

class CabinetDisplay : public ::testing::Test {
protected:
    /* The invocation name: "rack_test" puts the program in test mode. */
    virtual const char *program_name() const { return "xrackmon"; }
    /* More windows built with the others, and what is done once the colours
     * are read, before the window is realized. */
    virtual void build_more() {}
    virtual void before_realize() {}

    void SetUp() override
    {
        setenv("CONSOLE_ROOT", XR_DATA_ROOT, 1);
        XrmDatabase db = XtDatabase(XtDisplay(Toplevel));
        ASSERT_EQ(XrmCombineFileDatabase(XR_APP_DEFAULTS_DIR "/Xrackmon", &db, True), 1);
        program_ = program_name();
        argv_[0] = program_.data();
        argv_[1] = nullptr;
        _argc = 1;
        _argv = argv_;
        CabinetID = 1;
        current_chassis = 1;
        debug = 0;

        /* The window as start-up builds it: windows, colours, realized. */
        create_rack_cabstat_dlg(XtDisplay(Toplevel), program_.c_str(), 1, argv_, "Cabinet Status - Cab001");
        initialize_chassis_views();
        create_s_key_shell(rack_cabstat_dlg);
        build_more();
        get_colors();
        before_realize();
        XtVaSetValues(rack_cabstat_dlg, XmNx, 0, XmNy, 0, nullptr);
        XtRealizeWidget(rack_cabstat_dlg);
        SetRealizedShell(rack_cabstat_dlg);
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(s_rack_main_form); }, kWaitMs));
    }

    /* Puts a tree on the display and lets the server draw it. */
    static void show(const std::vector<tree::Chassis> &complexes)
    {
        const std::vector<uint8_t> bytes = tree::build(complexes);
        ASSERT_EQ(load_status_tree(bytes.data(), bytes.size()), 0);
        settle();
    }

    /* Clicks a rack toggle through the X server and waits for its effect. */
    static void click_chassis(int id)
    {
        ASSERT_NE(chassis_rec[id].radio_btn, nullptr) << "chassis " << id;
        ASSERT_TRUE(gui::click(chassis_rec[id].radio_btn)) << "chassis " << id;
        ASSERT_TRUE(gui::pump_until([id] { return current_chassis == id; }, kWaitMs)) << "chassis " << id;
        settle();
    }

    static void screenshot(const std::string &name)
    {
        settle();
        gui::screenshot(name);
    }

private:
    std::string program_;
    char *argv_[2] = {nullptr, nullptr};
};

inline bool managed(Widget w)
{
    return w != nullptr && XtIsManaged(w);
}

/* The chassis view window shown now; null when none or several. */
inline Widget shown_view()
{
    Widget views[] = {smp_frame,   sm_frame,          sm2u_frame,   quonet_frame, quonet_qna16g_frame,
                      quonet_qn64g_frame, ups_frame,  ups_dam_frame, empty_frame, da_frame,
                      da2_frame,   node7U_frame,      ups2U_frame,  cobalt_frame, garnet_frame,
                      beryl_frame, quartz_node_frame};
    Widget shown = nullptr;
    for (Widget v : views) {
        if (!managed(v))
            continue;
        if (shown != nullptr)
            return nullptr;
        shown = v;
    }
    return shown;
}

inline std::string view_name()
{
    Widget v = shown_view();
    return v != nullptr ? XtName(v) : "(none or several)";
}

/* Chassis ids of the rack entries, top to bottom. */
inline std::vector<int> rack_order()
{
    std::vector<int> ids;
    for (Widget child : gui::children(cab_rc))
        for (int id = 1; id <= MAX_CHASSIS; ++id)
            if (chassis_rec[id].chassis_frm == child)
                ids.push_back(id);
    return ids;
}

inline Pixmap label_pixmap(Widget w)
{
    Pixmap p = XmUNSPECIFIED_PIXMAP;
    XtVaGetValues(w, XmNlabelPixmap, &p, nullptr);
    return p;
}

/* The pixmap a status label shows for `status`. */
inline Pixmap status_pixmap(Widget stat, int status, int tiny = 0)
{
    const char *icon = nullptr, *text = nullptr;
    int scheme = 0;
    get_status_visual_elements(status, &icon, &scheme, &text, tiny);
    return GetPicturePixmap(XtScreenOfObject(XtParent(stat)), console_path(icon).c_str(), s_colors[scheme].foreground,
                            s_colors[scheme].background);
}

inline bool shows_status(Widget stat, int status, int tiny = 0)
{
    return stat != nullptr && label_pixmap(stat) == status_pixmap(stat, status, tiny);
}

/* The pixmap a toggle shows for `picture` (title colours). */
inline Pixmap picture_pixmap(Widget btn, const char *picture)
{
    return GetPicturePixmap(XtScreenOfObject(btn), console_path(picture).c_str(), s_colors[STATUS_TITLE].foreground,
                            s_colors[STATUS_TITLE].background);
}

inline bool toggle_set(Widget w)
{
    return XmToggleButtonGetState(w) == True;
}

} // namespace display

#endif
