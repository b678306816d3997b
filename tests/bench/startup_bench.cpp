/*
 * startup_bench.cpp - what starting the cabinet window costs next to a bare
 * Motif window.
 *
 * Under a private X server (the bench target runs it through with-xvfb),
 * each program is started as a process the same way, median of several
 * runs:
 *   - a bare Motif window: an application shell holding one label (this
 *     program itself, run with --bare-label), the baseline.  Like the
 *     program, it sets the locale from the environment through the
 *     toolkit's language procedure: in a UTF-8 locale, the input method
 *     opened when the first shell is realized reads that locale's compose
 *     table, a cost of the locale and not of the program.  The same window
 *     in the "C" locale is shown for comparison (--bare-label-c);
 *   - rack_test: the program in test mode with its built-in tree;
 *   - xrackmon against the cabinet simulator playing the sample
 *     installation's cabinet 1.
 * For each: the time from exec to the MapNotify of its main window (an
 * application shell, the one window with WM_COMMAND: the cabinet window,
 * not the work dialog shown before it under the same title), the time to
 * its first window of any kind (what the operator sees first), and the
 * peak memory (VmHWM of /proc/PID/status) at the map and one second later,
 * once the window has drawn its pictures.  Prints the figures and both
 * ratios to the baseline.  Not a pass/fail test.
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
#include <signal.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <Xm/Label.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "tests/support/process.h"

namespace {

constexpr std::size_t kRuns = 11;
constexpr const char *kBareTitle = "Bare Label";
constexpr const char *kCabinetTitle = "Cabinet Status - Cab001";
constexpr auto kTimeout = std::chrono::seconds(30);

using Clock = std::chrono::steady_clock;

int BareLabel(int argc, char **argv, bool set_locale)
{
    if (set_locale)
        XtSetLanguageProc(nullptr, nullptr, nullptr);
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

/* True when `window` is a top-level window titled `title` that carries the
 * command line, as application shells do and dialogs do not. */
bool IsMainWindow(Display *display, Window window, const std::string &title)
{
    char *name = nullptr;
    if (XFetchName(display, window, &name) == 0 || name == nullptr)
        return false;
    const bool same = title == name;
    XFree(name);
    char **command = nullptr;
    int words = 0;
    if (!same || XGetCommand(display, window, &command, &words) == 0)
        return false;
    XFreeStringList(command);
    return words > 0;
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
    double first_ms = -1; /* its first window, a dialog or the main one */
    double ms = -1;
    long kib = -1;     /* at the map */
    long settled = -1; /* a second later */
};

/* Ends the program and waits until the server has destroyed its main
 * window, so that the server's clean-up does not fall into the next run. */
void AwaitGone(Display *display, ChildProcess &child, Window main_window)
{
    child.send_signal(SIGKILL);
    child.wait_for_exit(std::chrono::seconds(5));
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == DestroyNotify && event.xdestroywindow.window == main_window)
                return;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 50);
    }
}

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
    const auto since_start = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
    double first_ms = -1;
    while (Clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify || event.xmap.override_redirect)
                continue;
            if (first_ms < 0)
                first_ms = since_start();
            if (!IsMainWindow(display, event.xmap.window, title))
                continue;
            Sample sample;
            sample.ms = since_start();
            sample.first_ms = first_ms;
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
            AwaitGone(display, child, event.xmap.window);
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

/* One program to start, with what its runs gave. */
struct Candidate {
    const char *what;
    std::string program;
    std::vector<std::string> args;
    Environment env;
    std::string title;
    std::vector<Sample> runs;
};

Sample Median(const std::vector<Sample> &runs)
{
    if (runs.size() < kRuns)
        return {};
    std::vector<double> firsts, times;
    std::vector<long> peaks, settled;
    for (const Sample &sample : runs) {
        firsts.push_back(sample.first_ms);
        times.push_back(sample.ms);
        peaks.push_back(sample.kib);
        settled.push_back(sample.settled);
    }
    for (auto *values : {&firsts, &times})
        std::sort(values->begin(), values->end());
    std::sort(peaks.begin(), peaks.end());
    std::sort(settled.begin(), settled.end());
    return {firsts[kRuns / 2], times[kRuns / 2], peaks[kRuns / 2], settled[kRuns / 2]};
}

void Print(const char *what, const Sample &sample, const Sample &bare)
{
    std::printf("%-34s %8.1f ms %8.1f ms %8ld KiB %8ld KiB", what, sample.first_ms, sample.ms, sample.kib,
                sample.settled);
    if (&sample != &bare && bare.ms > 0 && bare.settled > 0)
        std::printf("   x%.2f time  x%.2f memory", sample.ms / bare.ms,
                    static_cast<double>(sample.settled) / bare.settled);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && (std::string(argv[1]) == "--bare-label" || std::string(argv[1]) == "--bare-label-c"))
        return BareLabel(argc, argv, std::string(argv[1]) == "--bare-label");
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "startup_bench: no X display\n");
        return 1;
    }
    const std::string self = std::filesystem::canonical("/proc/self/exe");
    const std::string bin = XR_PROGRAM_DIR;
    const Environment resources{{"XAPPLRESDIR", XR_APP_DEFAULTS_DIR}};

    Environment test_env = resources;
    test_env.emplace_back("CONSOLE_ROOT", XR_DATA_ROOT);
    std::vector<Candidate> candidates{
        {"bare Motif window, one label", self, {"--bare-label"}, {}, kBareTitle, {}},
        {"  the same, \"C\" locale", self, {"--bare-label-c"}, {}, kBareTitle, {}},
        {"rack_test (built-in tree)", bin + "/rack_test", {"Cab001"}, test_env, kCabinetTitle, {}},
    };

    /* The live program: the simulator plays the sample installation under
     * its own console root, which gets the build's console data. */
    CabsimProcess sim;
    const std::string sample_dir = XR_SAMPLE_DIR;
    std::vector<std::string> sim_args{"-c", sample_dir + "/nxs.config"};
    for (int cab = 1; cab <= 4; ++cab)
        sim_args.push_back(sample_dir + "/cabsim/cab00" + std::to_string(cab) + ".sim");
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
            candidates.push_back({"xrackmon Cab001 against cabsim", bin + "/xrackmon", {"Cab001"}, live_env,
                                  kCabinetTitle, {}});
    }
    if (error)
        std::fprintf(stderr, "startup_bench: console root: %s\n", error.message().c_str());

    /* Rounds of one run each, so that a busy spell of the machine weighs on
     * every program alike. */
    for (std::size_t round = 0; round < kRuns; ++round) {
        std::fprintf(stderr, "round %zu of %zu\r", round + 1, kRuns);
        for (Candidate &c : candidates) {
            const Sample sample = StartOnce(display, c.program, c.args, c.env, c.title);
            if (sample.ms >= 0)
                c.runs.push_back(sample);
        }
    }
    std::fprintf(stderr, "\n");

    std::printf("Start-up to the main window mapped, median of %zu runs:\n", kRuns);
    std::printf("%-34s %11s %11s %12s %12s   ratios (memory: 1 s after)\n", "", "1st window", "main window",
                "VmHWM at map", "1 s after");
    const Sample bare = Median(candidates.front().runs);
    bool complete = candidates.size() == 4;
    for (const Candidate &c : candidates) {
        const Sample median = Median(c.runs);
        complete = complete && median.ms > 0;
        Print(c.what, median, &c == &candidates.front() ? median : bare);
    }
    XCloseDisplay(display);
    return complete ? 0 : 1;
}
