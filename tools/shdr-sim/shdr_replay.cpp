#include "shdr-sim/shdr_replay.h"

#include "util/code_page.h"
#include "util/error.h"

#include <QRegularExpression>

TShdrReplay::TShdrReplay(const QString& path) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    for (const QString& line : code_page::ReadTextFile(path).split(lineBreak))
        if (!line.trimmed().isEmpty()) FLines.append(line);
    if (FLines.isEmpty()) throw MeltrixError(QStringLiteral("%1 holds no line to replay").arg(path));
}

QString TShdrReplay::next() {
    const QString line = FLines.at(FNext);
    FNext = (FNext + 1) % FLines.size();
    return line;
}
