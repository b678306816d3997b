/*
 * fru_walk_test.cpp - FRU procedures walked end to end the way an operator
 * walks them: the program's own cabinet window, built in this process as
 * start-up builds it (FRU mode from the command line, configuration, first
 * status query), shows a cabinet of the sample installation played by the
 * cabinet simulator; the test clicks a chassis in the rack and a component
 * in its view through the X server, and a scripted operator answers every
 * prompt as it appears with a click on OK or Cancel.  Each walk then checks
 * the prompts met (each must contain its expected text, in order, and no
 * other may appear), the commands the simulator received other than status
 * queries, the command lines the stand-in utilities recorded, the unit
 * in the simulator's tree, and that no prompt or work dialog stays up.
 * Some walks change the configuration, make a utility fail or play a
 * cabinet of their own.  Waits follow XRACKMON_TIME_SCALE (1/1000 here);
 * XR_WALK_DEBUG=N turns on the program's trace at level N.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>


#include <X11/IntrinsicP.h>
#include <Xm/MessageB.h>
#include <Xm/ToggleB.h>

#include "app/chassis_table.h"
#include "app/layouts/rack_windows.h"
#include "app/rack_state.h"
#include "app/rack_view.h"
#include "app/s_detail.h"
#include "app/s_get_colors.h"
#include "app/s_rack_disp.h"
#include "app/unit_lookup.h"
#include "base/process.h"
#include "config/config.h"
#include "config/miscutil.h"
#include "config/read_config.h"
#include "engine/env_cmd.h"
#include "engine/send_env.h"
#include "tests/support/gui_harness.h"
#include "tests/support/process.h"
#include "ui/x_util.h"

namespace {

constexpr int kWalkMs = 40000;
constexpr int kStepMs = 5000;
constexpr unsigned long kOperatorTickMs = 30;

/* One prompt as the operator expects it: a text it must contain, and the
 * answer (OK, else Cancel; a box with OK only gets OK). */
struct Prompt {
    const char *text;
    bool ok = true;
    /* A simulator statement run once it is answered (a module reboots...). */
    const char *then = nullptr;
};

/* A unit of the simulator's tree and the status it must end with. */
struct FinalUnit {
    int sub = 0; /* 0: nothing checked */
    int unit = 0;
    int status = 0;
};

struct Walk {
    const char *name;
    const char *option; /* -F, -P or -p */
    int cabinet;
    int chassis;
    const char *toggle; /* path of the component's toggle below the chassis view */
    std::vector<Prompt> prompts = {};
    /* Commands other than status queries, as "cmd=K ctype=0xTT cid=0xII sub=0xSS unit=0xUU". */
    std::vector<std::string> commands = {};
    /* Lines of the utilities' record file. */
    std::vector<std::string> records = {};
    FinalUnit final_unit = {};
    /* Simulator statements and utility control lines set before the click. */
    std::vector<std::string> setup = {};
    std::vector<std::string> utility_control = {};
    /* Replacements in the sample configuration file (text, new text). */
    std::vector<std::pair<std::string, std::string>> config_edits = {};
    /* A boot-table entry that must be gone afterwards. */
    const char *deleted_entry = nullptr;
    /* The cabinet as the simulator plays it, instead of the sample's. */
    const char *description = nullptr;
};

/* Test names and parameter listings show a walk by its name. */
void PrintTo(const Walk &walk, std::ostream *out) { *out << walk.name; }

/* ---- the scripted operator ------------------------------------------------ */

/* Message boxes of the program's dialogs that are on the screen now. */
void shown_boxes(Widget w, std::vector<Widget> *out)
{
    if (w == nullptr || w->core.being_destroyed)
        return;
    if (XmIsMessageBox(w) && std::string(XtName(w)) == "error_widget" && gui::is_shown(w))
        out->push_back(w);
    for (Cardinal i = 0; XtIsWidget(w) && i < w->core.num_popups; ++i)
        shown_boxes(w->core.popup_list[i], out);
    for (Widget child : gui::children(w))
        shown_boxes(child, out);
}

std::string first_line(const std::string &text)
{
    return text.substr(0, text.find('\n'));
}

class Operator {
public:
    Operator(const std::vector<Prompt> &script, std::function<bool(const std::string &)> simulate)
        : script_(script), simulate_(std::move(simulate))
    {
    }
    ~Operator()
    {
        if (timer_ != 0)
            XtRemoveTimeOut(timer_);
    }
    void start() { timer_ = XtAppAddTimeOut(app_context, kOperatorTickMs, Tick, this); }
    /* What the operator met, one entry per prompt: its text. */
    const std::vector<std::string> &seen() const { return seen_; }

private:
    static void Tick(XtPointer self, XtIntervalId *)
    {
        auto *op = static_cast<Operator *>(self);
        op->timer_ = 0;
        op->answer_one();
        op->timer_ = XtAppAddTimeOut(app_context, kOperatorTickMs, Tick, op);
    }
    static void Gone(Widget, XtPointer self, XtPointer)
    {
        static_cast<Operator *>(self)->answered_ = nullptr;
    }

    void answer_one()
    {
        std::vector<Widget> boxes;
        shown_boxes(rack_cabstat_dlg, &boxes);
        if (boxes.empty() || boxes.back() == answered_)
            return;
        Widget box = boxes.back();
        const std::string text = gui::message_text(box);
        const std::size_t n = seen_.size();
        seen_.push_back(text);
        bool ok = false;
        if (n < script_.size()) {
            EXPECT_NE(text.find(script_[n].text), std::string::npos)
                << "prompt " << n + 1 << " should contain \"" << script_[n].text << "\" but reads:\n" << text;
            ok = script_[n].ok;
        } else {
            ADD_FAILURE() << "unexpected prompt " << n + 1 << ":\n" << text;
        }
        Widget cancel = XtNameToWidget(box, "Cancel");
        Widget button = ok || !gui::is_shown(cancel) ? XtNameToWidget(box, "OK") : cancel;
        answered_ = box;
        XtAddCallback(box, XmNdestroyCallback, Gone, this);
        EXPECT_TRUE(gui::click(button)) << "cannot click an answer to: " << first_line(text);
        if (n < script_.size() && script_[n].then != nullptr) {
            EXPECT_TRUE(simulate_(script_[n].then)) << script_[n].then;
        }
    }

    const std::vector<Prompt> &script_;
    std::function<bool(const std::string &)> simulate_;
    std::vector<std::string> seen_;
    Widget answered_ = nullptr;
    XtIntervalId timer_ = 0;
};

/* ---- the walk ----------------------------------------------------------- */

/* The commands of the simulator's log, status queries left out, from line
 * `from` on. */
std::vector<std::string> commands_sent(const std::string &log, std::size_t from)
{
    std::vector<std::string> out;
    std::istringstream lines(log);
    std::size_t index = 0;
    for (std::string text; std::getline(lines, text); ++index) {
        const std::size_t begin = text.find(" cmd="), end = text.find(" datalen=");
        if (index >= from && begin != std::string::npos && end > begin && text.compare(begin, 7, " cmd=1 ") != 0)
            out.push_back(text.substr(begin + 1, end - begin - 1));
    }
    return out;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        out.push_back(line);
    return out;
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::trunc) << text;
}

class FruWalk : public testing::TestWithParam<Walk> {
protected:
    void SetUp() override
    {
        const std::string sample = XR_SAMPLE_DIR;
        std::vector<std::string> args{"-c", sample + "/nxs.config"};
        const Walk &walk = GetParam();
        for (int cab = 1; cab <= 4; ++cab) {
            if (cab != walk.cabinet || walk.description == nullptr) {
                args.push_back(sample + "/cabsim/cab00" + std::to_string(cab) + ".sim");
                continue;
            }
            description_ = std::filesystem::temp_directory_path() / ("fru-walk-" + std::to_string(getpid()) + ".sim");
            write_file(description_, walk.description);
            args.push_back(description_);
        }
        ASSERT_TRUE(sim_.start_args(args)) << sim_.stderr_text();
        namespace fs = std::filesystem;
        const fs::path root = sim_.root();
        std::error_code error;
        for (const char *folder : {"opt/console", "usr"}) {
            fs::create_directories(root / folder, error);
            fs::copy(fs::path(XR_DATA_ROOT) / folder, root / folder, fs::copy_options::recursive, error);
            ASSERT_FALSE(error) << folder << ": " << error.message();
        }
        fs::create_directories(root / "tmp", error);
        fs::copy_file(sample + "/nxs.config", root / "var/console/nxs.config", error);
        ASSERT_FALSE(error) << error.message();
        write_file(sim_.root() + "/usr/boot/cmic/bootptab", kBootTable);

        setenv("CONSOLE_ROOT", sim_.root().c_str(), 1);
        setenv("XRACKMON_TIME_SCALE", "1000", 1);
        /* The firmware and record utilities are run by bare name. */
        const char *path = std::getenv("PATH");
        setenv("PATH", (sim_.root() + "/opt/console/bin:" + (path != nullptr ? path : "/usr/bin:/bin")).c_str(), 1);
        XrmDatabase db = XtDatabase(XtDisplay(Toplevel));
        ASSERT_EQ(XrmCombineFileDatabase(XR_APP_DEFAULTS_DIR "/Xrackmon", &db, True), 1);
    }

    void TearDown() override
    {
        if (!description_.empty())
            std::remove(description_.c_str());
        if (HasFailure())
            std::printf("cabsim log:\n%s\nutility record:\n%s\n", sim_.log_text().c_str(), records().c_str());
    }

    std::string records() const { return file_text(sim_.root() + "/var/console/utilities.rec"); }

    /* Start-up as the program's main does it, for `option` and `cabinet`. */
    void start_up(const char *option, int cabinet)
    {
        char cab_name[16];
        std::snprintf(cab_name, sizeof cab_name, "Cab%03d", cabinet);
        argv_ = {"xrackmon", option, "-d", std::getenv("XR_WALK_DEBUG") != nullptr ? std::getenv("XR_WALK_DEBUG") : "0",
                 cab_name};
        argv_ptrs_.clear();
        for (std::string &arg : argv_)
            argv_ptrs_.push_back(arg.data());
        argv_ptrs_.push_back(nullptr);
        _argc = static_cast<int>(argv_.size());
        _argv = argv_ptrs_.data();
        no_verify_timeout = 1;
        verify_timeout_release = close_all_ports;
        engine_ui = {FreshenWindow, IsWorkDialog, AddToWorkDialogMsg,
                     [](const char *text) { ModalErrorDialog(Toplevel, widget_title, text); },
                     [](const char *text, const char *help_tag) {
                         return ModalVerifyDialog(Toplevel, widget_title, text, DIALOG_QUESTION, help_tag);
                     }};
        const int first_icon = parse_options(_argc, _argv);
        CabinetID = get_cabinet_id(_argv[first_icon]);
        std::size_t used = std::strlen(widget_title);
        std::snprintf(widget_title + used, sizeof widget_title - used, " - Cab%03d", CabinetID);
        ASSERT_EQ(read_config_file(ConfigFilename), 0);
        get_host_types();
        HostType = std::max(get_cabinet_host_type(CabinetID), 0);

        create_rack_cabstat_dlg(XtDisplay(Toplevel), _argv[0], _argc, _argv, widget_title);
        initialize_chassis_views();
        Toplevel = rack_cabstat_dlg;
        create_s_key_shell(rack_cabstat_dlg);
        create_DetailBox(rack_cabstat_dlg);
        get_colors();
        StartWorkDialog(Toplevel, widget_title, "Reading Cabinet Status Info    ");
        current_chassis = 1;
        update_display(0);
        XtVaSetValues(rack_cabstat_dlg, XmNx, 0, XmNy, 0, nullptr);
        XtRealizeWidget(rack_cabstat_dlg);
        SetRealizedShell(rack_cabstat_dlg);
        adjust_rack_window_size();
        HideWorkDialog();
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(s_rack_main_form); }, kStepMs));
    }

    /* Clicks the chassis in the rack, then the component in its view, and
     * lets the operator answer until the procedure has returned. */
    void click_component(int chassis, const char *toggle_path, Operator *op)
    {
        ASSERT_NE(chassis_rec[chassis].radio_btn, nullptr) << "chassis " << chassis << " not in the rack";
        ASSERT_TRUE(gui::pump_until([&] { return gui::is_shown(chassis_rec[chassis].radio_btn); }, kStepMs));
        ASSERT_TRUE(gui::click(chassis_rec[chassis].radio_btn));
        ASSERT_TRUE(gui::pump_until([&] { return current_chassis == chassis; }, kStepMs));
        Widget view = chassis_rec[chassis].chassis_frame;
        Widget toggle = gui::find_in(view, toggle_path);
        ASSERT_NE(toggle, nullptr) << toggle_path << " not in " << (view != nullptr ? XtName(view) : "(no view)");
        ASSERT_TRUE(gui::pump_until([&] { return gui::is_shown(toggle); }, kStepMs)) << toggle_path;
        bool done = false;
        /* Called after cru_repl_cb, so once the procedure has returned. */
        XtAddCallback(
            toggle, XmNvalueChangedCallback, [](Widget, XtPointer flag, XtPointer) { *static_cast<bool *>(flag) = true; },
            &done);
        op->start();
        ASSERT_TRUE(gui::click(toggle));
        ASSERT_TRUE(gui::pump_until([&] { return done; }, kWalkMs)) << "the procedure did not return";
        EXPECT_FALSE(XmToggleButtonGetState(toggle)) << "the component's toggle stays set";
        EXPECT_FALSE(IsWorkDialog() && !work_dialog_hidden) << "the work dialog stays up";

        /* No prompt is left on the screen (nor its grab). */
        gui::pump_pending();
        std::vector<Widget> left;
        shown_boxes(rack_cabstat_dlg, &left);
        EXPECT_TRUE(left.empty()) << "a prompt stays up: " << first_line(gui::message_text(left.front()));
    }

    static constexpr const char *kBootTable =
        "# boot table of the management controllers\n"
        "CMIC001-1:ht=ethernet:ha=080069000001:ip=10.1.0.1:\n"
        "SMC001-1:ht=ethernet:ha=080069000011:ip=10.1.0.11:\n"
        "CMIC002-1:ht=ethernet:ha=080069000002:ip=10.1.0.2:\n"
        "CMIC003-1:ht=ethernet:\\\n\t:ha=080069000003:ip=10.1.0.3:\n"
        "CMIC004-1:ht=ethernet:ha=080069000004:ip=10.1.0.4:\n"
        "SMC004-1:ht=ethernet:ha=080069000014:ip=10.1.0.14:\n";

    CabsimProcess sim_;
    std::string description_;
    std::vector<std::string> argv_;
    std::vector<char *> argv_ptrs_;
};

TEST_P(FruWalk, PromptsCommandsUtilitiesAndTree)
{
    const Walk &walk = GetParam();
    const std::string config = sim_.root() + "/var/console/nxs.config";
    std::string text = file_text(config);
    for (const auto &[from, to] : walk.config_edits) {
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
    write_file(config, text);
    ASSERT_NO_FATAL_FAILURE(start_up(walk.option, walk.cabinet));
    for (const std::string &statement : walk.setup)
        ASSERT_TRUE(sim_.ctl(statement)) << statement;
    std::string control;
    for (const std::string &line : walk.utility_control)
        control += line + "\n";
    write_file(sim_.root() + "/var/console/utilities.ctl", control);
    ASSERT_TRUE(sim_.ctl("ping"));
    const std::string log = sim_.log_text();
    const auto log_from = static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));

    Operator op(walk.prompts, [this](const std::string &statement) { return sim_.ctl(statement); });
    ASSERT_NO_FATAL_FAILURE(click_component(walk.chassis, walk.toggle, &op));

    std::vector<std::string> firsts;
    for (const std::string &text : op.seen())
        firsts.push_back(first_line(text));
    EXPECT_EQ(op.seen().size(), walk.prompts.size()) << "prompts met:\n" << testing::PrintToString(firsts);
    ASSERT_TRUE(sim_.ctl("ping"));
    EXPECT_EQ(commands_sent(sim_.log_text(), log_from), walk.commands);
    /* A utility started in the background records its line a little later. */
    gui::pump_until([&] { return lines_of(records()).size() >= walk.records.size(); }, kStepMs);
    EXPECT_EQ(lines_of(records()), walk.records);
    if (walk.deleted_entry != nullptr) {
        const std::string table = file_text(sim_.root() + "/usr/boot/cmic/bootptab");
        EXPECT_EQ(table.find(std::string("\n") + walk.deleted_entry + ":"), std::string::npos) << table;
        EXPECT_NE(table.find("CMIC002-1:"), std::string::npos) << "another entry went too:\n" << table;
    }
    if (walk.final_unit.sub != 0) {
        update_display(0);
        unit_cfg_t *unit = find_unit_ptr(walk.chassis, walk.final_unit.sub, walk.final_unit.unit);
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(unit->unit_status, walk.final_unit.status);
    }
}

} // namespace

namespace {

constexpr int kOff = 4;

/* Cabinet 1 with its server management chassis as chassis 1, where the
 * board slots are read: the rack's CMB in slot 1, a PTB that powers an
 * older SMP (chassis 2), and two UMBs that serve the UPS (chassis 3) and an
 * SMP (chassis 4). */
constexpr const char kSlotCabinet[] = R"(
cabinet 1 sysno=1 sysname="Production West" cabname="Cab001"
complex 1 type=44 status=1
subcomplex 9 units=0
unit 0 status=78
unit 1 status=79
unit 2 status=98
unit 3 status=98
subcomplex 4 units=2 status=1
subcomplex 3 units=2 status=1
complex 2 type=37 status=1
subcomplex 4 units=2 status=1
complex 3 type=46 status=1
subcomplex 13 units=1 status=61
subcomplex 15 units=1 status=1
complex 4 type=47 status=1
subcomplex 3 units=10 first=1 status=1
subcomplex 4 units=2 status=1
subcomplex 2 units=1 status=98
)";

/* Cabinet 1's boards made those of an older SMP cabinet, whose SMPs need
 * both AC inputs. */
const std::pair<std::string, std::string> kOlderSmpCabinet{"subtype=RM_RUMB_TARN", "subtype=RM_SMB4"};

const Walk kWalks[] = {
    /* A switch chassis powered on by command, then its network reset. */
    {.name = "SwitchChassisPowerOnNetworkReset", .option = "-P", .cabinet = 3, .chassis = 2,
     .toggle = "*btn_qn64g_chassis",
     .prompts = {{"Begin powering on "}, {"for QUONET network reset."}, {"FRU Chassis power on is complete."}},
     .commands = {"cmd=2 ctype=0x80 cid=0x02 sub=0x90 unit=0x00"},
     .records = {"/usr/sbin/run_qnutil RESET QNB003-2"}},
    /* A disk of an array numbered by rank, without a status record. */
    {.name = "RankDiskUnknown", .option = "-F", .cabinet = 2, .chassis = 13, .toggle = "*btn_da_dsk12",
     .prompts = {{"WARNING:  Disk (2,0) status is unknown."}, {"FRU Disk (2,0) replacement is complete."}}},
    /* A hot-pluggable fan is powered on by putting it in: one prompt. */
    {.name = "FanPowerOn", .option = "-P", .cabinet = 1, .chassis = 1, .toggle = "*btn_cobalt_fan2",
     .prompts = {{"Power On procedure for FAN 2 FRU in "}}},
    /* A supply of the management chassis switched off by command. */
    {.name = "SupplyPowerOff", .option = "-p", .cabinet = 1, .chassis = 10, .toggle = "*btn_smc2u_pwr1",
     .prompts = {{"This component appears to be functional."},
                 {"Begin powering off PWR 1?"},
                 {"FRU PWR 1 power off is complete."}},
     .commands = {"cmd=3 ctype=0x80 cid=0x0a sub=0x04 unit=0x00"},
     .final_unit = {4, 1, kOff}},
    /* The module refuses the power command: its error, and nothing more. */
    {.name = "PowerOffRefused", .option = "-p", .cabinet = 1, .chassis = 10, .toggle = "*btn_smc2u_pwr1",
     .prompts = {{"This component appears to be functional."}, {"Begin powering off PWR 1?"}, {"Unable to power "}},
     .commands = {"cmd=3 ctype=0x80 cid=0x0a sub=0x04 unit=0x00"},
     .final_unit = {4, 1, 1},
     .setup = {"fault 1 status 3 cmd=3"}},
    /* The module never answers the power command. */
    {.name = "PowerOffUnanswered", .option = "-p", .cabinet = 1, .chassis = 10, .toggle = "*btn_smc2u_pwr1",
     .prompts = {{"This component appears to be functional."}, {"Begin powering off PWR 1?"}, {"Unable to power "}},
     .commands = {"cmd=3 ctype=0x80 cid=0x0a sub=0x04 unit=0x00"},
     .final_unit = {4, 1, 1},
     .setup = {"fault 1 silent cmd=3"}},
    /* A working supply of an SMP that needs both AC inputs: the operator stops. */
    {.name = "SmpSupplyAcfailCancel", .option = "-F", .cabinet = 1, .chassis = 4, .toggle = "*btn_node7U_pwr1",
     .prompts = {{"cause\nthe SMP to begin ACFAIL processing.", false}},
     .config_edits = {kOlderSmpCabinet}},
    /* A switch's supply powered off for replacement, then left off: nothing more is sent. */
    {.name = "SwitchSupplyCancelInTheMiddle", .option = "-F", .cabinet = 3, .chassis = 2, .toggle = "*btn_qn64g_pwr1",
     .prompts = {{"This component can be power cycled"},
                 {"This component appears to be functional."},
                 {"Begin powering off PWR 1 for replacement?"},
                 {"has been powered off and is ready to be replaced.", false},
                 {"Power PWR 1 back on?", false}},
     .commands = {"cmd=3 ctype=0x80 cid=0x02 sub=0x04 unit=0x00"},
     .final_unit = {4, 1, kOff}},
    /* A failed disk of a modular array. */
    {.name = "FailedDiskReplace", .option = "-F", .cabinet = 2, .chassis = 12, .toggle = "*btn_da2_dsk2",
     .prompts = {{"Disk (1-2) is already in a failed state."}, {"FRU Disk (1-2) replacement is complete."}}},
    /* An array controller of unknown mode, then its revision record. */
    {.name = "ControllerReplace", .option = "-F", .cabinet = 2, .chassis = 11, .toggle = "*btn_da2_ctl1",
     .prompts = {{"CTL 1 mode is unknown."}, {"FRU CTL 1 replacement is complete."}},
     .records = {"rm_seeprom_util -d5 -s 1 -a \"DAMC 11\" Cab002"}},
    /* A module supply of a modular array is switched by hand. */
    {.name = "ArraySupplyManual", .option = "-F", .cabinet = 2, .chassis = 11, .toggle = "*btn_da2_pwr1",
     .prompts = {{"This component appears to be functional."},
                 {"PWR 1 must be powered off manually."},
                 {"FRU PWR 1 replacement is complete."}}},
    /* The controller cage; the module reboots once the operator has replaced it. */
    {.name = "CmicReplace", .option = "-F", .cabinet = 4, .chassis = 5, .toggle = "*btn_smc_cmic",
     .prompts = {{"The CMIC's bootptab entry will be deleted"},
                 {"Follow these steps:\n1) Replace the CMIC.", true, "replace 4"},
                 {"FRU CMIC Cage replacement is complete."}},
     .commands = {"cmd=6 ctype=0x81 cid=0xff sub=0x00 unit=0x00"},
     .records = {"/usr/boot/cmic/xcmicbootp -n CMIC004-1 -p", "XPROM_flash -D5 CMIC004-5",
                 "rm_seeprom_util -d5 -s 1 -a SMC Cab004"},
     .deleted_entry = "CMIC004-1"},
    /* The module never boots, the operator goes on, the firmware loader fails. */
    {.name = "CmicNeverBootsOkFirmwareFails", .option = "-F", .cabinet = 4, .chassis = 5, .toggle = "*btn_smc_cmic",
     .prompts = {{"The CMIC's bootptab entry will be deleted"},
                 {"Follow these steps:\n1) Replace the CMIC."},
                 {"Cabinet 4 CMIC was not successfully\nbooted."},
                 {"Error running FW download function"},
                 {"replacement is complete.\n\nErrors occurred.\n"}},
     .commands = {"cmd=6 ctype=0x81 cid=0xff sub=0x00 unit=0x00"},
     .records = {"/usr/boot/cmic/xcmicbootp -n CMIC004-1 -p", "XPROM_flash -D5 CMIC004-5",
                 "rm_seeprom_util -d5 -s 1 -a SMC Cab004"},
     .utility_control = {"XPROM_flash exit 1"}},
    /* Entry kept, the module never boots, the operator gives up: nothing more. */
    {.name = "CmicKeptEntryNeverBootsCancel", .option = "-F", .cabinet = 4, .chassis = 5, .toggle = "*btn_smc_cmic",
     .prompts = {{"The CMIC's bootptab entry will be deleted", false},
                 {"Configuration instructions have been skipped."},
                 {"Cabinet 4 CMIC was not successfully\nbooted.", false},
                 {"CMIC was not configured with Global Values:"}}},
    /* A UPS turned off by hand; the record utility's exit code 99 is success. */
    {.name = "UpsReplace", .option = "-F", .cabinet = 3, .chassis = 8, .toggle = "*btn_ups_chassis",
     .prompts = {{"This component appears to be functional."},
                 {"It is important that you manually\nturn off the UPS"},
                 {"If you have installed a new MB with this chassis", false},
                 {"FRU UPS replacement is complete.\n"}},
     .records = {"rm_seeprom_util -d5 -s 1 -a \"UPS 8\" Cab003"},
     .utility_control = {"rm_seeprom_util exit 99"},
     .config_edits = {{"run_only_with_dual_ac=yes", "run_only_with_dual_ac=NO"}}},
    /* The input selector cannot be switched by the console. */
    {.name = "InputSelectorPowerOff", .option = "-p", .cabinet = 2, .chassis = 9, .toggle = "*btn_ups_dam_dams3",
     .prompts = {{"the cabinet does not shut down."},
                 {"the Input Selector Module cannot be powered off."}}},
    /* The rack's CMB is replaced by a UMB: the board-type warning, UMB firmware. */
    {.name = "RackMbReplacedByUmb", .option = "-F", .cabinet = 1, .chassis = 1, .toggle = "*btn_smc2u_cmb",
     .prompts = {{"The SMC's bootptab entry will be deleted", true, "set 1/1/9/0 status=98"},
                 {"1) Replace the MB. (It is hot-pluggable)", true, "replace 1"},
                 {"Warning: You have replaced the MB with a different board type."},
                 {"Now you should download the Network firmware and the UMB firmware."},
                 {"FRU Rack MB replacement is complete."}},
     .commands = {"cmd=6 ctype=0x81 cid=0xff sub=0x00 unit=0x00"},
     .records = {"/usr/boot/cmic/xcmicbootp -n SMC001-1 -p", "XPROM_flash -D5 MB001-0", "XPROM_flash -D5 MB001-0",
                 "rm_seeprom_util -d5 -s 1 -a SMC Cab001"},
     .deleted_entry = "SMC001-1",
     .description = kSlotCabinet},
    /* The UPS's UMB in an older SMP cabinet; the record utility is killed. */
    {.name = "UpsUmbReplaceRecordKilled", .option = "-F", .cabinet = 1, .chassis = 1, .toggle = "*btn_smc2u_rcmb3",
     .prompts = {{"cause\nany SMPs in the cabinet to begin ACFAIL processing."},
                 {"RUMB 3 is HOT PLUGGABLE.\nGo ahead and replace the FRU.\nClick OK after"},
                 {"Now you should download the Network firmware and the UMB firmware."},
                 {"Error running RLM update function"},
                 {"FRU RUMB 3 replacement is complete.\n\nErrors occurred.\n"}},
     .records = {"XPROM_flash -D5 MB001-3", "XPROM_flash -D5 MB001-3", "rm_seeprom_util -d5 -s 1 -a \"UPS 3\" Cab001"},
     .utility_control = {"rm_seeprom_util signal 9"},
     .config_edits = {kOlderSmpCabinet},
     .description = kSlotCabinet},
    /* A PTB cannot be switched off; it feeds an SMP that would shut down. */
    {.name = "PtbPowerOffWarnsOfSmps", .option = "-p", .cabinet = 1, .chassis = 1, .toggle = "*btn_smc2u_rcmb2",
     .prompts = {{"will cause SMPs in the cabinet to shutdown.\n\nPTB 2 cannot be powered off"}},
     .description = kSlotCabinet},
    /* The module refuses to switch the UMB's heartbeat detection off. */
    {.name = "HeartbeatDisableRefused", .option = "-F", .cabinet = 1, .chassis = 1, .toggle = "*btn_smc2u_rcmb4",
     .prompts = {{"EXACTLY as stated may result in the attached SMP performing"},
                 {"Failed to DISABLE the UMB to\nnode agent heartbeat detection,"}},
     .commands = {"cmd=39 ctype=0x80 cid=0x04 sub=0x90 unit=0x00"},
     .setup = {"fault 1 status 3 cmd=39"},
     .description = kSlotCabinet},
    /* The UMB of an SMP: detection off, hot plug, firmware, cables, detection on. */
    {.name = "SmpUmbReplace", .option = "-F", .cabinet = 1, .chassis = 1, .toggle = "*btn_smc2u_rcmb4",
     .prompts = {{"EXACTLY as stated may result in the attached SMP performing"},
                 {"is HOT PLUGGABLE.\nGo ahead and replace the FRU.\n\nDO NOT RECONNECT"},
                 {"Now you should download the Network firmware and the UMB firmware."},
                 {"Reconnect the cables between UMB 4 and the SMP."},
                 {"FRU RUMB 4 replacement is complete."}},
     .commands = {"cmd=39 ctype=0x80 cid=0x04 sub=0x90 unit=0x00", "cmd=38 ctype=0x80 cid=0x04 sub=0x90 unit=0x00"},
     .records = {"XPROM_flash -D5 MB001-4", "XPROM_flash -D5 MB001-4", "rm_seeprom_util -d5 -s 1 -a \"SMP 4\" Cab001"},
     .description = kSlotCabinet},
};

INSTANTIATE_TEST_SUITE_P(Sample, FruWalk, testing::ValuesIn(kWalks),
                         [](const testing::TestParamInfo<Walk> &info) { return std::string(info.param.name); });

} // namespace
