#pragma once

#include <QString>

#include <unordered_map>

// Script names are case-insensitive: maps keyed by name hash and compare case-folded text
// without building folded copies (ASCII, the usual case, is folded inline).
struct NameHash {
    size_t operator()(const QString& name) const noexcept {
        size_t hash = 14695981039346656037ull;
        for (const QChar c : name) {
            const char16_t code = c.unicode();
            const char16_t folded = code < 128 ? (code >= u'A' && code <= u'Z' ? code + 32 : code)
                                               : c.toCaseFolded().unicode();
            hash ^= folded;
            hash *= 1099511628211ull;
        }
        return hash;
    }
};

struct NameEqual {
    bool operator()(const QString& left, const QString& right) const noexcept {
        return left.compare(right, Qt::CaseInsensitive) == 0;
    }
};

template <typename T>
using NameMap = std::unordered_map<QString, T, NameHash, NameEqual>;
