#include "util/text.h"

namespace text {

namespace {
bool IsBlank(QChar c) { return c.unicode() <= 32; }
}  // namespace

QString Trim(const QString& value) {
    qsizetype first = 0;
    qsizetype last = value.size();
    while (first < last && IsBlank(value.at(first))) ++first;
    while (last > first && IsBlank(value.at(last - 1))) --last;
    return value.mid(first, last - first);
}

QString Quoted(const QString& value) {
    return QChar(u'\'') + QString(value).replace(QChar(u'\''), QStringLiteral("''")) + QChar(u'\'');
}

}  // namespace text
