#include "util/text.h"

namespace text {

namespace {

bool IsBlank(QChar c) { return c.unicode() <= 32; }

struct Bounds {
    qsizetype first;
    qsizetype length;
};

Bounds TrimmedBounds(QStringView value) {
    qsizetype first = 0;
    qsizetype last = value.size();
    while (first < last && IsBlank(value.at(first))) ++first;
    while (last > first && IsBlank(value.at(last - 1))) --last;
    return {first, last - first};
}

}  // namespace

QString Trim(const QString& value) {
    const Bounds bounds = TrimmedBounds(value);
    return value.mid(bounds.first, bounds.length);
}

QStringView Trim(QStringView value) {
    const Bounds bounds = TrimmedBounds(value);
    return value.sliced(bounds.first, bounds.length);
}

QString Quoted(const QString& value) {
    return QChar(u'\'') + QString(value).replace(QChar(u'\''), QStringLiteral("''")) + QChar(u'\'');
}

}  // namespace text
