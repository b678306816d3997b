/*
 * console_path.cpp - prefixes installation paths with $CONSOLE_ROOT.
 */
#include "base/console_path.h"

#include <cstdlib>

std::string_view console_root()
{
    const char *root = std::getenv("CONSOLE_ROOT");
    return root ? std::string_view(root) : std::string_view();
}

std::string console_path(std::string_view fixed_path)
{
    std::string_view root = console_root();
    /* A root given as "/x/" must not double the slash of an absolute path. */
    while (!root.empty() && root.back() == '/' && !fixed_path.empty() && fixed_path.front() == '/')
        root.remove_suffix(1);
    std::string path;
    path.reserve(root.size() + fixed_path.size());
    path.append(root);
    path.append(fixed_path);
    return path;
}
