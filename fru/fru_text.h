/*
 * fru_text.h - printf-style formatting of the FRU procedures' prompts into
 * a std::string, so that a prompt built from a heading, a label and a fixed
 * text never overruns a buffer.
 */
#ifndef XR_FRU_FRU_TEXT_H
#define XR_FRU_FRU_TEXT_H

#include <cstdarg>
#include <cstdio>
#include <string>

__attribute__((format(printf, 1, 2))) inline std::string fru_format(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

#endif
