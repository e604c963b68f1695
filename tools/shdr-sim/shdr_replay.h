#pragma once

#include <QString>
#include <QStringList>

// The lines of a recorded adapter stream, handed out one at a time and from the start again
// after the last one. Lines are sent as they are; blank lines are skipped.
class TShdrReplay {
public:
    // Throws MeltrixError when the file cannot be read or holds no line.
    explicit TShdrReplay(const QString& path);

    QString next();
    qsizetype count() const { return FLines.size(); }

private:
    QStringList FLines;
    qsizetype FNext = 0;
};
