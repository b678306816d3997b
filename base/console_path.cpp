/*
 * console_path.cpp - prefixes installation paths with $CONSOLE_ROOT.
 */
#include "base/console_path.h"

#include <cstdlib>
#include <cstring>

std::string_view console_root()
{
    const char *root = std::getenv("CONSOLE_ROOT");
    return root ? std::string_view(root) : std::string_view();
}

namespace {

/* The root as it is put in front of fixed_path: a root given as "/x/" must
 * not double the slash of an absolute path. */
std::string_view root_for(std::string_view fixed_path)
{
    std::string_view root = console_root();
    while (!root.empty() && root.back() == '/' && !fixed_path.empty() && fixed_path.front() == '/')
        root.remove_suffix(1);
    return root;
}

} // namespace

bool console_path_into(char *buffer, std::size_t size, std::string_view fixed_path)
{
    if (buffer == nullptr || size == 0)
        return false;
    std::string_view root = root_for(fixed_path);
    if (root.size() + fixed_path.size() >= size) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, root.data(), root.size());
    std::memcpy(buffer + root.size(), fixed_path.data(), fixed_path.size());
    buffer[root.size() + fixed_path.size()] = '\0';
    return true;
}

std::string console_path(std::string_view fixed_path)
{
    std::string_view root = root_for(fixed_path);
    std::string path;
    path.reserve(root.size() + fixed_path.size());
    path.append(root);
    path.append(fixed_path);
    return path;
}
