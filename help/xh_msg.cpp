/*
 * xh_msg.cpp - the help system's message catalogue "xhelp".
 *
 * Looked for first where the system's catopen finds it (NLSPATH, then the
 * system's default places, under the locale of LC_MESSAGES), then at the
 * console installation's copy /opt/console/nls/xhelp.cat (through
 * console_path).  Opened once, after the locale has been set from the
 * environment; without it every text is the caller's built-in default.
 */
#include "help/xh_msg.h"

#include <clocale>
#include <nl_types.h>
#include <string>

#include "base/console_path.h"
#include "daemon/message.h"

/* ---- constants ---------------------------------------------------------- */

namespace {
constexpr const char *kCatalogueName = "xhelp";
constexpr const char *kInstalledCatalogue = "/opt/console/nls/xhelp.cat";
const nl_catd kNoCatalogue = reinterpret_cast<nl_catd>(-1);
}

/* ---- module variables --------------------------------------------------- */

static nl_catd xh_catalogue = kNoCatalogue;
static bool catalogue_tried = false;

/* ---- static prototypes -------------------------------------------------- */

static void OpenCatalogue();

/* ------------------------------------------------------------------------ */

static void OpenCatalogue()
{
    catalogue_tried = true;
    std::setlocale(LC_ALL, "");
    xh_catalogue = catopen(kCatalogueName, NL_CAT_LOCALE);
    if (xh_catalogue == kNoCatalogue) {
        std::string installed = console_path(kInstalledCatalogue);
        xh_catalogue = catopen(installed.c_str(), NL_CAT_LOCALE);
    }
}

const char *xh_catgets(int set, int num, const char *fallback)
{
    if (!catalogue_tried)
        OpenCatalogue();
    if (xh_catalogue == kNoCatalogue)
        return fallback;
    const char *text = catgets(xh_catalogue, set, num, fallback);
    /* A translated text that reads other arguments than the built-in one
     * would make printf read garbage: keep the built-in text then. */
    if (text == nullptr || (fallback != nullptr && !SameConversions(text, fallback)))
        return fallback;
    return text;
}

void xh_CloseCatalogue()
{
    if (xh_catalogue != kNoCatalogue)
        catclose(xh_catalogue);
    xh_catalogue = kNoCatalogue;
    catalogue_tried = false;
}
