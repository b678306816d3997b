/*
 * motif_str.h - Motif and Xt take `char *` where they only read the text.
 * xs() makes that one cast in one place instead of at every call.
 */
#ifndef XR_BASE_MOTIF_STR_H
#define XR_BASE_MOTIF_STR_H

#include <string>

inline char *xs(const char *text) { return const_cast<char *>(text); }
inline char *xs(const std::string &text) { return const_cast<char *>(text.c_str()); }

#endif
