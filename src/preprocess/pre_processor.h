#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <span>

// Turns a block of raw machine text into records of named values: one list per record,
// in input order, each entry NAME=VALUE in field order.
//
// A record is a time stamp (yyyy-mm-ddThh:mm:ss, one character, 3 to 15 digits, "Z"),
// one or more "|", then tag and value fields separated by "|". A special tag takes every
// remaining field of its record (alarms, operator messages).
//
// It has no lock of its own: its owner calls Execute and changes the special tags under
// the owner's rules mutex.
class TPreProcessor {
public:
    TPreProcessor();
    virtual ~TPreProcessor() = default;

    TPreProcessor(const TPreProcessor&) = delete;
    TPreProcessor& operator=(const TPreProcessor&) = delete;

    // One match per line that holds a time stamp: from that time stamp to the end of its
    // line, further records of the same line included.
    virtual QStringList ValidLines(const QString& pText) const;
    virtual QList<QStringList> ExplodedTags(const QStringList& pValidLines) const;
    virtual QList<QStringList> Execute(const QString& pText) const;

    // The rule's original name; duplicates are kept, look-ups ignore letter case.
    void AddTagEspecialList(const QString& pTag);
    void clearTagEspecialList();

private:
    QStringList validLinesByRegEx(const QString& text) const;
    void addRecordsOf(QList<QStringList>& records, const QString& validLine) const;
    QStringList entriesOf(QStringView recordText) const;
    void addSpecialEntries(QStringList& entries, QStringView tag, std::span<const QStringView> fields) const;
    QString joinedValue(std::span<const QStringView> fields) const;
    bool isTagEspecial(QStringView tag) const;

    QRegularExpression fInLineMultiLineRegEx;
    QRegularExpression fValidLineRegEx;
    QRegularExpression fHyphenRunRegEx;
    QRegularExpression fLeadingHyphenRegEx;
    QRegularExpression fTrailingHyphenRegEx;
    QStringList fTagEspecialList;
};
