/*
 * startup_bench.cpp - what starting the cabinet window costs next to a bare
 * Motif window.
 *
 * Under a private X server (the bench target runs it through with-xvfb),
 * each program is started as a process the same way, median of several
 * runs:
 *   - a bare Motif window: an application shell holding one label (this
 *     program itself, run with --bare-label), the baseline;
 *   - rack_test: the program in test mode with its built-in tree;
 *   - xrackmon against the cabinet simulator playing the sample
 *     installation's cabinet 1.
 * For each: the time from exec to the MapNotify of its top-level window
 * (the cabinet window, not the work dialog that comes before it: that one
 * is transient for another window), and the peak memory (VmHWM of
 * /proc/PID/status) at the map and one second later, once the window has
 * drawn its pictures.  Prints the figures and
 * both ratios to the baseline.  Not a pass/fail test.
 */
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <poll.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <Xm/Label.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "tests/support/process.h"

namespace {

constexpr int kRuns = 5;
constexpr const char *kBareTitle = "Bare Label";
constexpr const char *kCabinetTitle = "Cabinet Status - Cab001";
constexpr auto kTimeout = std::chrono::seconds(30);

using Clock = std::chrono::steady_clock;

int BareLabel(int argc, char **argv)
{
    XtAppContext app;
    Widget shell = XtVaAppInitialize(&app, "BareLabel", nullptr, 0, &argc, argv, nullptr, XmNtitle, kBareTitle,
                                     nullptr);
    XmString text = XmStringCreateLocalized(xs("Cabinet Status"));
    XtVaCreateManagedWidget("label", xmLabelWidgetClass, shell, XmNlabelString, text, nullptr);
    XmStringFree(text);
    XtRealizeWidget(shell);
    XtAppMainLoop(app);
    return 0;
}

/* True when `window` is a top-level window titled `title` that is not
 * transient for another (a dialog). */
bool IsMainWindow(Display *display, Window window, const std::string &title)
{
    char *name = nullptr;
    if (XFetchName(display, window, &name) == 0 || name == nullptr)
        return false;
    const bool same = title == name;
    XFree(name);
    Window owner = 0;
    return same && XGetTransientForHint(display, window, &owner) == 0;
}

long PeakKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:"))
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

struct Sample {
    double ms = -1;
    long kib = -1;     /* at the map */
    long settled = -1; /* a second later */
};

/* Starts the program and waits for the MapNotify of its main window. */
Sample StartOnce(Display *display, const std::string &program, const std::vector<std::string> &args,
                 const Environment &env, const std::string &title)
{
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);
    ChildProcess child;
    const auto start = Clock::now();
    if (!child.start(program, args, env, "/dev/null"))
        return {};
    const auto deadline = start + kTimeout;
    while (Clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify || !IsMainWindow(display, event.xmap.window, title))
                continue;
            Sample sample;
            sample.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            sample.kib = PeakKiB(child.pid());
            const auto later = Clock::now() + std::chrono::seconds(1);
            while (Clock::now() < later) {
                while (XPending(display)) {
                    XEvent ignored;
                    XNextEvent(display, &ignored);
                }
                child.drain(std::chrono::milliseconds(50));
            }
            sample.settled = PeakKiB(child.pid());
            return sample;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 5);
        if (!child.running())
            break;
    }
    std::fprintf(stderr, "%s: no window \"%s\" mapped\n", program.c_str(), title.c_str());
    return {};
}

Sample Median(Display *display, const std::string &program, const std::vector<std::string> &args,
              const Environment &env, const std::string &title)
{
    std::vector<double> times;
    std::vector<long> peaks, settled;
    for (int run = 0; run < kRuns; ++run) {
        const Sample sample = StartOnce(display, program, args, env, title);
        if (sample.ms < 0)
            return {};
        times.push_back(sample.ms);
        peaks.push_back(sample.kib);
        settled.push_back(sample.settled);
    }
    std::sort(times.begin(), times.end());
    std::sort(peaks.begin(), peaks.end());
    std::sort(settled.begin(), settled.end());
    return {times[kRuns / 2], peaks[kRuns / 2], settled[kRuns / 2]};
}

void Print(const char *what, const Sample &sample, const Sample &bare)
{
    std::printf("%-32s %8.1f ms %8ld KiB %8ld KiB", what, sample.ms, sample.kib, sample.settled);
    if (&sample != &bare && bare.ms > 0 && bare.settled > 0)
        std::printf("   x%.2f time  x%.2f memory", sample.ms / bare.ms,
                    static_cast<double>(sample.settled) / bare.settled);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::string(argv[1]) == "--bare-label")
        return BareLabel(argc, argv);
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "startup_bench: no X display\n");
        return 1;
    }
    const std::string self = std::filesystem::canonical("/proc/self/exe");
    const std::string bin = XR_PROGRAM_DIR;
    const Environment resources{{"XAPPLRESDIR", XR_APP_DEFAULTS_DIR}};

    const Sample bare = Median(display, self, {"--bare-label"}, {}, kBareTitle);

    Environment test_env = resources;
    test_env.emplace_back("CONSOLE_ROOT", XR_DATA_ROOT);
    const Sample test_mode = Median(display, bin + "/rack_test", {"Cab001"}, test_env, kCabinetTitle);

    /* The live program: the simulator plays the sample installation under
     * its own console root, which gets the build's console data. */
    CabsimProcess sim;
    const std::string sample_dir = XR_SAMPLE_DIR;
    std::vector<std::string> sim_args{"-c", sample_dir + "/nxs.config"};
    for (int cab = 1; cab <= 4; ++cab)
        sim_args.push_back(sample_dir + "/cabsim/cab00" + std::to_string(cab) + ".sim");
    Sample live;
    namespace fs = std::filesystem;
    std::error_code error;
    if (sim.start_args(sim_args)) {
        const fs::path root = sim.root();
        fs::create_directories(root / "opt/console", error);
        fs::copy(fs::path(XR_DATA_ROOT) / "opt/console", root / "opt/console", fs::copy_options::recursive, error);
        fs::copy_file(sample_dir + "/nxs.config", root / "var/console/nxs.config", error);
        Environment live_env = resources;
        live_env.emplace_back("CONSOLE_ROOT", sim.root());
        if (!error)
            live = Median(display, bin + "/xrackmon", {"Cab001"}, live_env, kCabinetTitle);
    }
    if (error)
        std::fprintf(stderr, "startup_bench: console root: %s\n", error.message().c_str());

    std::printf("Start-up to the main window mapped, median of %d runs:\n", kRuns);
    std::printf("%-32s %11s %12s %12s   ratios (memory: 1 s after)\n", "", "to the map", "VmHWM at map",
                "1 s after");
    Print("bare Motif window, one label", bare, bare);
    Print("rack_test (built-in tree)", test_mode, bare);
    Print("xrackmon Cab001 against cabsim", live, bare);
    XCloseDisplay(display);
    return bare.ms > 0 && test_mode.ms > 0 && live.ms > 0 ? 0 : 1;
}
