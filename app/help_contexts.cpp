/*
 * help_contexts.cpp - registers the help key's topics of the cabinet
 * display's windows (table in help_contexts.h).
 */
#include "app/help_contexts.h"

#include <array>

#include "help/xh_state.h"

namespace {
constexpr std::size_t kWindowCount = sizeof WINDOW_HELP / sizeof WINDOW_HELP[0];
/* The widgets already registered, so that a second call adds only the
 * windows built since (a window rebuilt anew is a new widget). */
std::array<Widget, kWindowCount> registered{};
}

void register_window_help()
{
    for (std::size_t i = 0; i < kWindowCount; i++) {
        Widget w = *WINDOW_HELP[i].window;
        if (w == nullptr || registered[i] == w)
            continue;
        RegisterHelpContext(w, WINDOW_HELP[i].file, WINDOW_HELP[i].topic);
        registered[i] = w;
    }
}
