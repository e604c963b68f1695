#include "preprocess/pre_processor.h"

#include "util/text.h"

#include <QVarLengthArray>

#include <algorithm>

namespace {

constexpr QChar RecordMark = u'@';
constexpr QChar FieldSeparator = u'|';
constexpr QChar LineBreak = u'\n';

// PCRE's "no empty match" option, which QRegularExpression does not offer, set from the
// pattern itself. "(*LF)" pins the line break that "." stops at, whatever the PCRE build.
QRegularExpression NotEmptyRegEx(const QString& pattern,
                                 QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption) {
    return QRegularExpression(QStringLiteral("(*NOTEMPTY)(*LF)") + pattern, options);
}

QString RemoveFirstMatch(QString text, const QRegularExpression& expression) {
    const QRegularExpressionMatch match = expression.match(text);
    if (match.hasMatch()) text.remove(match.capturedStart(), match.capturedLength());
    return text;
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

// NAME=VALUE in one allocation: the name trimmed with every space as "_", the value trimmed.
QString Entry(QStringView name, QStringView value) {
    name = text::Trim(name);
    value = text::Trim(value);
    QString entry(name.size() + 1 + value.size(), Qt::Uninitialized);
    QChar* out = entry.data();
    for (const QChar c : name) *out++ = c == u' ' ? QChar(u'_') : c;
    *out++ = u'=';
    std::copy(value.begin(), value.end(), out);
    return entry;
}

// ---- Hand-written matchers for the time stamp and record-start expressions, which every
// line meets: PCRE's per-match bookkeeping cost more than the rest of the preprocessor.
// They read one UTF-16 unit as one character, which holds only in text without surrogates;
// other text goes through the expressions themselves. Like PCRE without Unicode
// properties, they take digits and word characters to be ASCII only.

bool IsDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }

bool IsWordChar(QChar c) {
    const char16_t code = c.unicode();
    return IsDigit(c) || (code >= u'a' && code <= u'z') || (code >= u'A' && code <= u'Z') || code == u'_';
}

// [\w:.]
bool IsRecordStartTail(QChar c) { return IsWordChar(c) || c == u':' || c == u'.'; }

bool HasSurrogates(QStringView text) {
    // Neither an early exit nor a bool accumulator, so that the loop vectorises.
    unsigned surrogates = 0;
    for (const QChar c : text) surrogates |= unsigned(c.isSurrogate());
    return surrogates != 0;
}

// Reads a text forward from a position; a step that fails says so and may leave the position
// anywhere, as the callers give up on the first failure.
class Reader {
public:
    Reader(QStringView text, qsizetype pos) : fText(text), fPos(pos) {}

    qsizetype pos() const { return fPos; }

    bool literal(QChar wanted) {
        return next([wanted](QChar c) { return c == wanted; });
    }

    void optional(QChar wanted) { literal(wanted); }

    bool digits(int count) {
        for (int k = 0; k < count; ++k)
            if (!next(IsDigit)) return false;
        return true;
    }

    bool anyButLineBreak() {
        return next([](QChar c) { return c != LineBreak; });
    }

    // Skips at most max characters that satisfy the predicate; returns how many it skipped.
    template <typename Predicate>
    qsizetype skip(Predicate predicate, qsizetype max) {
        qsizetype count = 0;
        while (count < max && next(predicate)) ++count;
        return count;
    }

private:
    // Steps over the next character when it satisfies the predicate.
    template <typename Predicate>
    bool next(Predicate predicate) {
        if (fPos >= fText.size() || !predicate(fText[fPos])) return false;
        ++fPos;
        return true;
    }

    QStringView fText;
    qsizetype fPos;
};

// The line expression's time stamp and first "|" at the position; the rest of it, "[|]*.*",
// takes whatever follows up to the line break.
bool TimeStampAt(QStringView text, qsizetype at) {
    Reader reader(text, at);
    if (!reader.digits(4)) return false;
    if (at > 0 && IsWordChar(text[at - 1])) return false;
    if (!(reader.literal(u'-') && reader.digits(2) && reader.literal(u'-') && reader.digits(2) &&
          reader.literal(u'T') && reader.digits(2) && reader.literal(u':') && reader.digits(2) &&
          reader.literal(u':') && reader.digits(2) && reader.anyButLineBreak()))
        return false;
    // More than 15 digits leave a digit where "Z" must be, however PCRE backtracks.
    const qsizetype fraction = reader.skip(IsDigit, 16);
    return fraction >= 3 && fraction <= 15 && reader.literal(u'Z') && reader.literal(FieldSeparator);
}

// End of the record-start text "2\d{3}-(\d{2}-?){2}[\w:.]+" beginning at the position, or 0
// when none begins there. Taking each optional hyphen is the only way to a match: without
// it the next step meets the hyphen, which is neither a digit nor in [\w:.].
qsizetype RecordStartEnd(QStringView text, qsizetype at) {
    Reader reader(text, at);
    if (!(reader.literal(u'2') && reader.digits(3) && reader.literal(u'-') && reader.digits(2))) return 0;
    reader.optional(u'-');
    if (!reader.digits(2)) return 0;
    reader.optional(u'-');
    return reader.skip(IsRecordStartTail, text.size()) > 0 ? reader.pos() : 0;
}

// Where a separator lies in a text: [start, end); start < 0 when there is none.
struct Separator {
    qsizetype start;
    qsizetype end;
};

constexpr Separator NoSeparator{-1, -1};

// Kept apart from the callers' bookkeeping so that the loop stays tight.
qsizetype IndexOfEither(QStringView text, qsizetype from, QChar first, QChar second) {
    const auto found = std::find_if(text.begin() + from, text.end(),
                                    [first, second](QChar c) { return c == first || c == second; });
    return found == text.end() ? -1 : found - text.begin();
}

Separator NextFieldSeparator(QStringView text, qsizetype from) {
    const qsizetype at = IndexOfEither(text, from, FieldSeparator, FieldSeparator);
    return at < 0 ? NoSeparator : Separator{at, at + 1};
}

Separator NextRecordMark(QStringView text, qsizetype from) {
    const qsizetype at = IndexOfEither(text, from, RecordMark, RecordMark);
    return at < 0 ? NoSeparator : Separator{at, at + 1};
}

// A record mark or a record-start text, whichever comes first; as in a global replace, the
// search goes on after the end of the previous one. A record-start text has its first hyphen
// four characters after its beginning, and neither hyphens nor record marks are common.
Separator NextRecordBoundary(QStringView text, qsizetype from) {
    for (qsizetype at = from; (at = IndexOfEither(text, at, RecordMark, u'-')) >= 0; ++at) {
        if (text[at] == RecordMark) return {at, at + 1};
        const qsizetype start = at - 4;
        if (start < from) continue;
        if (const qsizetype end = RecordStartEnd(text, start); end > 0) return {start, end};
    }
    return NoSeparator;
}

using Pieces = QVarLengthArray<QStringView, 32>;

// The pieces of a text between separators, as views into it, without the piece before the
// first separator; empty pieces are kept except the one after a final separator.
template <typename NextSeparator>
Pieces PiecesAfterFirst(QStringView text, NextSeparator nextSeparator) {
    Pieces pieces;
    for (Separator separator = nextSeparator(text, 0); separator.start >= 0;) {
        const Separator following = nextSeparator(text, separator.end);
        const qsizetype pieceEnd = following.start >= 0 ? following.start : text.size();
        pieces.append(text.sliced(separator.end, pieceEnd - separator.end));
        separator = following;
    }
    if (!pieces.isEmpty() && pieces.last().isEmpty()) pieces.removeLast();
    return pieces;
}

}  // namespace

TPreProcessor::TPreProcessor()
    : fInLineMultiLineRegEx(NotEmptyRegEx(QStringLiteral(R"(2\d{3}-(\d{2}-?){2}[\w:.]+)"))),
      fValidLineRegEx(NotEmptyRegEx(QStringLiteral(R"(\b\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}.\d{3,15}Z[|]+.*)"),
                                    QRegularExpression::MultilineOption)),
      fHyphenRunRegEx(QStringLiteral(R"((\s?\-\s?)+)")),
      fLeadingHyphenRegEx(QStringLiteral(R"(^\s?\-\s?)")),
      fTrailingHyphenRegEx(QStringLiteral(R"(\s?\-\s?$)")) {}

// Each match runs from its time stamp to the end of the line: the leftmost time stamp of
// each line that has one.
QStringList TPreProcessor::ValidLines(const QString& pText) const {
    if (HasSurrogates(pText)) return validLinesByRegEx(pText);  // also repairs broken UTF-16
    const QStringView text(pText);
    QStringList lines;
    for (qsizetype lineStart = 0; lineStart < text.size();) {
        qsizetype lineEnd = text.indexOf(LineBreak, lineStart);
        if (lineEnd < 0) lineEnd = text.size();
        for (qsizetype at = lineStart; at < lineEnd; ++at) {
            if (TimeStampAt(text, at)) {
                lines.append(pText.mid(at, lineEnd - at));
                break;
            }
        }
        lineStart = lineEnd + 1;
    }
    return lines;
}

QList<QStringList> TPreProcessor::ExplodedTags(const QStringList& pValidLines) const {
    QList<QStringList> records;
    records.reserve(pValidLines.size());
    for (const QString& line : pValidLines) addRecordsOf(records, line);
    return records;
}

QList<QStringList> TPreProcessor::Execute(const QString& pText) const { return ExplodedTags(ValidLines(pText)); }

void TPreProcessor::AddTagEspecialList(const QString& pTag) { fTagEspecialList.append(pTag); }

void TPreProcessor::clearTagEspecialList() { fTagEspecialList.clear(); }

QStringList TPreProcessor::validLinesByRegEx(const QString& text) const {
    QStringList lines;
    QRegularExpressionMatchIterator matches = fValidLineRegEx.globalMatch(WithValidUtf16(text));
    while (matches.hasNext()) lines.append(matches.next().captured());
    return lines;
}

// Every text of the record-start form ends the record before it, as does the record mark
// itself, so a value holding either is cut there; the text before the first one belongs to
// no record.
void TPreProcessor::addRecordsOf(QList<QStringList>& records, const QString& validLine) const {
    if (HasSurrogates(validLine)) {
        // The expression, unlike the hand-written matcher, sees characters beyond 16 bits and
        // finds nothing in text that is not valid UTF-16.
        const QString marked = QString(validLine).replace(fInLineMultiLineRegEx, QString(RecordMark));
        for (const QStringView recordText : PiecesAfterFirst(marked, NextRecordMark))
            records.append(entriesOf(recordText));
    } else {
        for (const QStringView recordText : PiecesAfterFirst(validLine, NextRecordBoundary))
            records.append(entriesOf(recordText));
    }
}

// The piece before the first "|" is never read.
QStringList TPreProcessor::entriesOf(QStringView recordText) const {
    const Pieces items = PiecesAfterFirst(recordText, NextFieldSeparator);
    QStringList entries;
    entries.reserve((items.size() + 1) / 2);
    for (qsizetype pos = 0; pos < items.size(); ++pos) {
        const QStringView tag = items[pos];
        if (tag.isEmpty()) continue;
        if (isTagEspecial(tag)) {
            addSpecialEntries(entries, tag, std::span(items.data() + pos + 1, items.size() - pos - 1));
            break;
        }
        entries.append(Entry(tag, pos + 1 < items.size() ? items[pos + 1] : QStringView()));
        ++pos;
    }
    return entries;
}

void TPreProcessor::addSpecialEntries(QStringList& entries, QStringView tag,
                                      std::span<const QStringView> fields) const {
    entries.append(Entry(tag, joinedValue(fields)));
    for (size_t k = 0; k < fields.size(); ++k)
        entries.append(Entry(tag.toString() + u'_' + QString::number(k + 1), fields[k]));
}

// The fields separated by " - "; hyphens inside a field read as separators too.
QString TPreProcessor::joinedValue(std::span<const QStringView> fields) const {
    QString joined;
    for (const QStringView field : fields) {
        joined += field;
        joined += QStringLiteral(" - ");
    }
    joined.replace(fHyphenRunRegEx, QStringLiteral(" - "));
    return RemoveFirstMatch(RemoveFirstMatch(joined, fLeadingHyphenRegEx), fTrailingHyphenRegEx);
}

// Most machines have no special tag: the empty list is answered without a call into Qt.
bool TPreProcessor::isTagEspecial(QStringView tag) const {
    return !fTagEspecialList.isEmpty() && fTagEspecialList.contains(tag, Qt::CaseInsensitive);
}
