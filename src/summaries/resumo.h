#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

class TRegra;

// The state of one machine at one moment: one line per referenced rule, in the order of the
// rule set's reference list, all with the same serial and time stamp. A value type; its text
// form is every line followed by CR LF.
class TResumo {
public:
    TResumo() = default;
    explicit TResumo(const QString& text);

    // Appends the line of one rule. Reading the accumulated time restarts the duration count
    // of a changed rule at `timestamp`.
    void addLine(const QString& serial, TRegra& regra, const QDateTime& timestamp);

    // The time stamp of the first line; a null date-time for an empty summary.
    QDateTime getDate() const;
    static QString getRuleName(const QString& row);
    static QString getRuleValue(const QString& row);

    const QStringList& lines() const { return FLines; }
    qsizetype count() const { return FLines.size(); }
    bool isEmpty() const { return FLines.isEmpty(); }

    // Lines carry no line break: each one is a single line of the text form.
    void add(const QString& line) { FLines.append(line); }

    QString text() const;
    void setText(const QString& text);

private:
    QStringList FLines;
};
