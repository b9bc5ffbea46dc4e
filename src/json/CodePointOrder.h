#pragma once

#include <QString>

// Ascending Unicode code-point order without case folding, the order of every list the store
// publishes. QString's own operator< compares UTF-16 code units, which puts characters beyond
// the Basic Multilingual Plane before U+E000…U+FFFF.
inline bool codePointLess(const QString &a, const QString &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = a.at(i).unicode();
        const char16_t y = b.at(i).unicode();
        if (x == y)
            continue;
        // A surrogate (0xD800–0xDFFF) stands for a code point above 0xFFFF: it sorts after
        // every BMP character, including 0xE000–0xFFFF.
        const auto rank = [](char16_t c) {
            return (c >= 0xD800 && c <= 0xDFFF) ? c + 0x2000 : (c >= 0xE000 ? c - 0x800 : c);
        };
        return rank(x) < rank(y);
    }
    return a.size() < b.size();
}
