#include "preprocess/pre_processor.h"

#include "util/text.h"

namespace {

constexpr QChar RecordMark = u'@';
constexpr QChar FieldSeparator = u'|';

// PCRE's "no empty match" option, which QRegularExpression does not offer, set from the
// pattern itself. "(*LF)" pins the line break that "." stops at, whatever the PCRE build.
QRegularExpression NotEmptyRegEx(const QString& pattern,
                                 QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption) {
    return QRegularExpression(QStringLiteral("(*NOTEMPTY)(*LF)") + pattern, options);
}

// Pieces between separators; empty pieces are kept except the one after a final separator.
QStringList SplitAt(const QString& text, QChar separator) {
    QStringList pieces = text.split(separator, Qt::KeepEmptyParts);
    if (pieces.size() > 1 && pieces.last().isEmpty()) pieces.removeLast();
    return pieces;
}

QString RemoveFirstMatch(QString text, const QRegularExpression& expression) {
    const QRegularExpressionMatch match = expression.match(text);
    if (match.hasMatch()) text.remove(match.capturedStart(), match.capturedLength());
    return text;
}

QString Entry(const QString& name, const QString& value) {
    return text::Trim(name).replace(u' ', u'_') + u'=' + text::Trim(value);
}

// The matcher finds nothing at all in text that is not valid UTF-16, which would drop
// every line of the block for one broken character.
QString WithValidUtf16(const QString& text) {
    if (text.isValidUtf16()) return text;
    QString repaired = text;
    for (qsizetype i = 0; i < repaired.size(); ++i) {
        const QChar c = repaired.at(i);
        if (c.isHighSurrogate() && i + 1 < repaired.size() && repaired.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            repaired[i] = QChar::ReplacementCharacter;
    }
    return repaired;
}

}  // namespace

TPreProcessor::TPreProcessor()
    : fInLineMultiLineRegEx(NotEmptyRegEx(QStringLiteral(R"(2\d{3}-(\d{2}-?){2}[\w:.]+)"))),
      fValidLineRegEx(NotEmptyRegEx(QStringLiteral(R"(\b\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}.\d{3,15}Z[|]+.*)"),
                                    QRegularExpression::MultilineOption)),
      fHyphenRunRegEx(QStringLiteral(R"((\s?\-\s?)+)")),
      fLeadingHyphenRegEx(QStringLiteral(R"(^\s?\-\s?)")),
      fTrailingHyphenRegEx(QStringLiteral(R"(\s?\-\s?$)")) {}

QStringList TPreProcessor::ValidLines(const QString& pText) const {
    QStringList lines;
    QRegularExpressionMatchIterator matches = fValidLineRegEx.globalMatch(WithValidUtf16(pText));
    while (matches.hasNext()) lines.append(matches.next().captured());
    return lines;
}

QList<QStringList> TPreProcessor::ExplodedTags(const QStringList& pValidLines) const {
    QList<QStringList> records;
    for (const QString& line : pValidLines) records.append(recordsOf(line));
    return records;
}

QList<QStringList> TPreProcessor::Execute(const QString& pText) const { return ExplodedTags(ValidLines(pText)); }

void TPreProcessor::AddTagEspecialList(const QString& pTag) { fTagEspecialList.append(pTag); }

void TPreProcessor::clearTagEspecialList() { fTagEspecialList.clear(); }

// Every text of the record-start form becomes a record mark, so a value holding either is
// cut there; the text before the first mark belongs to no record.
QList<QStringList> TPreProcessor::recordsOf(const QString& validLine) const {
    const QString marked = QString(validLine).replace(fInLineMultiLineRegEx, QString(RecordMark));
    const QStringList recordTexts = SplitAt(marked, RecordMark);
    QList<QStringList> records;
    for (qsizetype i = 1; i < recordTexts.size(); ++i) records.append(entriesOf(recordTexts.at(i)));
    return records;
}

// Item 0 is what precedes the first "|" and is never read.
QStringList TPreProcessor::entriesOf(const QString& recordText) const {
    const QStringList items = SplitAt(recordText, FieldSeparator);
    QStringList entries;
    for (qsizetype pos = 1; pos < items.size(); ++pos) {
        const QString& tag = items.at(pos);
        if (tag.isEmpty()) continue;
        if (isTagEspecial(tag)) {
            addSpecialEntries(entries, tag, items.mid(pos + 1));
            break;
        }
        entries.append(Entry(tag, items.value(pos + 1)));
        ++pos;
    }
    return entries;
}

void TPreProcessor::addSpecialEntries(QStringList& entries, const QString& tag, const QStringList& fields) const {
    entries.append(Entry(tag, joinedValue(fields)));
    for (qsizetype k = 0; k < fields.size(); ++k)
        entries.append(Entry(tag + u'_' + QString::number(k + 1), fields.at(k)));
}

// The fields separated by " - "; hyphens inside a field read as separators too.
QString TPreProcessor::joinedValue(const QStringList& fields) const {
    QString joined;
    for (const QString& field : fields) joined += field + QStringLiteral(" - ");
    joined.replace(fHyphenRunRegEx, QStringLiteral(" - "));
    return RemoveFirstMatch(RemoveFirstMatch(joined, fLeadingHyphenRegEx), fTrailingHyphenRegEx);
}

bool TPreProcessor::isTagEspecial(const QString& tag) const { return fTagEspecialList.contains(tag, Qt::CaseInsensitive); }
