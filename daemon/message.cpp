/*
 * message.cpp - severity messages on standard error, the "nxlib" message
 * catalogue and nxs_malloc.
 *
 * The catalogue is looked for first where the system's catopen finds it
 * (NLSPATH, then the system's default places, under the locale of
 * LC_MESSAGES), then at the console installation's own copy,
 * /opt/console/nls/nxlib.cat (through console_path, so a console root
 * brings its own catalogue).  It is opened once; if it is nowhere, every
 * text is the built-in default.
 */
#include "daemon/message.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/console_path.h"
#include "daemon/logfile.h"

namespace {

constexpr const char *kCatalogueName = "nxlib";
constexpr const char *kInstalledCatalogue = "/opt/console/nls/nxlib.cat";

/* Severity names, indexed by level; catalogue set 5, numbers 2 to 5. */
constexpr const char *kSeverityNames[] = {"INFO", "WARNING", "ERROR", "FATAL ERROR"};
constexpr int kSeverityNameBase = 2;
static_assert(sizeof kSeverityNames / sizeof kSeverityNames[0] == SEV_FATAL + 1);

const nl_catd kNoCatalogue = reinterpret_cast<nl_catd>(-1);

bool catalogue_tried = false;

void open_catalogue();
const char *next_conversion(const char *text, std::string &conversion);

} // namespace

int SeverityLevel = SEV_INFO;
nl_catd nx_i18n_fd = reinterpret_cast<nl_catd>(-1);

/* ------------------------------------------------------------------------ */

namespace {

void open_catalogue()
{
    catalogue_tried = true;
    std::setlocale(LC_ALL, "");
    nx_i18n_fd = catopen(kCatalogueName, NL_CAT_LOCALE);
    if (nx_i18n_fd == kNoCatalogue) {
        std::string installed = console_path(kInstalledCatalogue);
        nx_i18n_fd = catopen(installed.c_str(), NL_CAT_LOCALE);
    }
}

/* Finds the next printf conversion in text and stores what decides the
 * arguments it reads: '*' for each starred width or precision, a '$' when it
 * is positional, the length modifiers and the conversion letter.  Returns the
 * text after it, or null when there is none. */
const char *next_conversion(const char *text, std::string &conversion)
{
    conversion.clear();
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        for (; *p != '\0'; ++p) {
            char c = *p;
            if (c == '*' || c == '$')
                conversion += c;
            else if (c >= '0' && c <= '9')
                continue;
            else if (c == '-' || c == '+' || c == ' ' || c == '#' || c == '.' || c == '\'')
                continue;
            else if (c == 'h' || c == 'l' || c == 'L' || c == 'q' || c == 'j' || c == 'z' || c == 't')
                conversion += c;
            else {
                conversion += c;
                return p + 1;
            }
        }
        return nullptr; /* a '%' at the very end converts nothing */
    }
    return nullptr;
}

} // namespace

int SameConversions(const char *a, const char *b)
{
    std::string conv_a, conv_b;
    for (;;) {
        a = next_conversion(a, conv_a);
        b = next_conversion(b, conv_b);
        if (a == nullptr || b == nullptr)
            return (a == nullptr && b == nullptr) ? 1 : 0;
        if (conv_a != conv_b)
            return 0;
    }
}

const char *nx_msg(int set, int number, const char *fallback)
{
    if (!catalogue_tried)
        open_catalogue();
    if (nx_i18n_fd == kNoCatalogue)
        return fallback;
    const char *text = catgets(nx_i18n_fd, set, number, fallback);
    if (text == nullptr || !SameConversions(text, fallback))
        return fallback;
    return text;
}

void nx_close_catalogue()
{
    if (nx_i18n_fd != kNoCatalogue)
        catclose(nx_i18n_fd);
    nx_i18n_fd = kNoCatalogue;
    catalogue_tried = false;
}

void SetSeverity(int level)
{
    SeverityLevel = level;
}

void DisplayMsg(const char *format, ...)
{
    int level = (SeverityLevel >= SEV_INFO && SeverityLevel <= SEV_FATAL) ? SeverityLevel : SEV_INFO;
    const char *name = nx_msg(NX_SET_DISPLAY, kSeverityNameBase + level, kSeverityNames[level]);
    std::fprintf(stderr, nx_msg(NX_SET_DISPLAY, 1, "%s: "), name);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fflush(stderr);
}

void *nxs_malloc(std::size_t size)
{
    void *memory = std::malloc(size);
    if (memory == nullptr) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_MEMORY, 1, "Cannot malloc %d bytes\n"), static_cast<int>(size));
        LogMemoryError();
    }
    return memory;
}
