// The preprocessor matches time stamps and record starts by hand in ordinary text; here it
// must give, for generated text full of near misses, exactly what the PCRE expressions give.
#include "preprocess/pre_processor.h"

#include "support/qt_printers.h"
#include "util/text.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <random>

namespace {

using Records = QList<QStringList>;

// The algorithm read literally, every step done with its expression.
class ExpressionReading {
public:
    explicit ExpressionReading(const QStringList& tagsEspeciais) : fTagsEspeciais(tagsEspeciais) {}

    QStringList validLines(const QString& text) const {
        QStringList lines;
        QRegularExpressionMatchIterator matches = fValidLine.globalMatch(WithoutLoneSurrogates(text));
        while (matches.hasNext()) lines << matches.next().captured();
        return lines;
    }

    Records explodedTags(const QStringList& lines) const {
        Records records;
        for (const QString& line : lines) {
            const QStringList recordTexts = Split(QString(line).replace(fRecordStart, "@"), u'@');
            for (qsizetype i = 1; i < recordTexts.size(); ++i) records << entries(recordTexts[i]);
        }
        return records;
    }

private:
    // PCRE refuses text that is not valid UTF-16; the preprocessor repairs it first.
    static QString WithoutLoneSurrogates(QString text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            else if (text[i].isSurrogate())
                text[i] = QChar::ReplacementCharacter;
        }
        return text;
    }

    static QStringList Split(const QString& text, QChar separator) {
        QStringList pieces = text.split(separator);
        if (pieces.size() > 1 && pieces.last().isEmpty()) pieces.removeLast();
        return pieces;
    }

    static QString Entry(const QString& name, const QString& value) {
        return text::Trim(name).replace(u' ', u'_') + u'=' + text::Trim(value);
    }

    QStringList entries(const QString& recordText) const {
        const QStringList items = Split(recordText, u'|');
        QStringList entries;
        for (qsizetype pos = 1; pos < items.size(); ++pos) {
            const QString& tag = items[pos];
            if (tag.isEmpty()) continue;
            if (fTagsEspeciais.contains(tag, Qt::CaseInsensitive)) {
                const QStringList fields = items.mid(pos + 1);
                entries << Entry(tag, joined(fields));
                for (qsizetype k = 0; k < fields.size(); ++k)
                    entries << Entry(tag + u'_' + QString::number(k + 1), fields[k]);
                break;
            }
            entries << Entry(tag, items.value(pos + 1));
            ++pos;
        }
        return entries;
    }

    QString joined(const QStringList& fields) const {
        QString joined;
        for (const QString& field : fields) joined += field + " - ";
        joined.replace(QRegularExpression(R"((\s?\-\s?)+)"), " - ");
        for (const QRegularExpression& end : {QRegularExpression(R"(^\s?\-\s?)"), QRegularExpression(R"(\s?\-\s?$)")}) {
            const QRegularExpressionMatch match = end.match(joined);
            if (match.hasMatch()) joined.remove(match.capturedStart(), match.capturedLength());
        }
        return joined;
    }

    QStringList fTagsEspeciais;
    QRegularExpression fValidLine{R"((*NOTEMPTY)(*LF)\b\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}.\d{3,15}Z[|]+.*)",
                                  QRegularExpression::MultilineOption};
    QRegularExpression fRecordStart{R"((*NOTEMPTY)(*LF)2\d{3}-(\d{2}-?){2}[\w:.]+)"};
};

const QString Emoji = QString::fromUtf8("\xF0\x9F\x98\x80");

// Pieces that make whole time stamps, nearly time stamps and record-start forms, and what
// sits between and around them; characters beyond ASCII that PCRE might count as digits,
// word characters or blanks.
const QStringList OrdinaryPieces = {
    "2024-06-24T10:11:12.123Z", "2024-06-24T10:11:12.123Z", "2024-06-24T10:11:12.123Z",
    "2024-06-24T10:11:12.123456789012345Z", "2024-06-24T10:11:12.1234567890123456Z", "2024-06-24T10:11:12.12Z",
    "2024-06-24T10:11:12,123Z", "2024-06-24T10:11:12123Z", "1999-06-24T10:11:12.123Z", "2024-06-24T10:11:12.123",
    "2024-06-24T10:11:12\n123Z", QString("2024-06-24T10:11:12") + QChar(0xE9) + "123Z", "2024-06-24t10:11:12.123Z",
    "2024-0624x", "2024-06-24-", "2024-06-24-x", "2024-06-2", "2024-0-6x", "2024-06--24x", "12024-06-24x",
    "2024-06-24:.", "2024-06-24x2024-06-24x", "2024-06", "-24", "|", "|", "|", "||", "@", "\n", "\r\n", "\r", " ", "\t", "-", " - ", "a", "T1",
    "_", "x", "Z", "5", "2", "20", "202", "ALARME", "alarme", "spindle load", "X-axis", "=", QString(QChar(0xE9)),
    QString(QChar(0xB5)), QString(QChar(0xAA)), QString(QChar(0xA0)), QString(QChar(0x0130)), QString(QChar(0x0663)),
    QString(QChar(0xFF12)), QString(QChar(0x2028)), QString(QChar(0x85))};

const QStringList SurrogatePieces = {Emoji, Emoji + "123Z", QString(QChar(0xD800)), QString(QChar(0xDC00))};

const QList<QStringList> TagListsEspeciais = {{}, {"ALARME"}, {"a", "t1"}};

class GeneratedText {
public:
    QString next() {
        const bool withSurrogates = fRandom() % 4 == 0;
        QString text;
        for (int count = Between(1, 30); count > 0; --count) {
            const QStringList& pieces = withSurrogates && fRandom() % 6 == 0 ? SurrogatePieces : OrdinaryPieces;
            text += pieces[Between(0, static_cast<int>(pieces.size()) - 1)];
        }
        return text;
    }

    const QStringList& tagsEspeciais() { return TagListsEspeciais[Between(0, 2)]; }

private:
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(fRandom); }

    std::mt19937 fRandom{20240624};
};

QString Escaped(const QString& text) {
    QString escaped;
    for (const QChar c : text)
        escaped += c.unicode() >= 32 && c.unicode() < 127 ? QString(c) : QString("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
    return escaped;
}

}  // namespace

TEST(TPreProcessor, AgreesWithTheExpressionsOnGeneratedText) {
    GeneratedText generated;
    for (int i = 0; i < 4000; ++i) {
        const QString text = generated.next();
        const QStringList& tagsEspeciais = generated.tagsEspeciais();
        TPreProcessor preProcessor;
        for (const QString& tag : tagsEspeciais) preProcessor.AddTagEspecialList(tag);
        const ExpressionReading expected(tagsEspeciais);

        const QStringList validLines = expected.validLines(text);
        ASSERT_EQ(preProcessor.ValidLines(text), validLines) << Escaped(text).toStdString();
        ASSERT_EQ(preProcessor.Execute(text), expected.explodedTags(validLines)) << Escaped(text).toStdString();
        // Lines that do not begin at a time stamp, and text that is not valid UTF-16, reach
        // ExplodedTags through an overridden ValidLines.
        const QStringList rawLines = text.split(u'\n');
        ASSERT_EQ(preProcessor.ExplodedTags(rawLines), expected.explodedTags(rawLines)) << Escaped(text).toStdString();
    }
}
