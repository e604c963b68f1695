#include "util/text_lines.h"

namespace text_lines {

QStringList Split(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n') continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n') ++i;
        start = i + 1;
    }
    if (start < size) lines.append(text.mid(start));
    return lines;
}

QString Join(const QStringList& lines) {
    QString text;
    for (const QString& line : lines) text += line + QStringLiteral("\r\n");
    return text;
}

QString Normalised(const QString& text) { return Join(Split(text)); }

}  // namespace text_lines
