#include "util/cipher.h"

#include "util/clock.h"
#include "util/date_time.h"
#include "util/error.h"
#include "util/text.h"

#include <QCryptographicHash>

#include <algorithm>
#include <array>

namespace cipher {

namespace {

using Alphabet = std::array<char16_t, 92>;

// Part of the wire protocol: both ends of a link must use these exact orders.
constexpr Alphabet Plain = {
    75, 37, 112, 117, 61, 35, 95, 41, 67, 53, 103, 90, 33, 65, 83, 86, 55, 92, 109,
    118, 45, 62, 47, 100, 113, 40, 32, 99, 91, 89, 34, 50, 74, 69, 68, 48, 98, 52,
    107, 36, 87, 54, 58, 119, 82, 57, 110, 56, 80, 63, 64, 93, 43, 72, 73, 123, 104,
    101, 44, 79, 105, 120, 81, 102, 77, 38, 121, 106, 66, 71, 42, 108, 78, 97, 124, 76,
    115, 125, 59, 111, 88, 60, 116, 49, 85, 114, 84, 122, 70, 46, 51, 94};

constexpr Alphabet Ciphered = {
    108, 51, 82, 69, 38, 93, 55, 76, 87, 97, 71, 122, 94, 123, 58, 43, 118, 120, 56,
    83, 110, 100, 89, 119, 104, 60, 98, 78, 52, 116, 81, 64, 49, 45, 74, 34, 50, 54,
    67, 114, 124, 41, 46, 35, 48, 47, 40, 65, 57, 111, 103, 95, 73, 107, 109, 99, 117,
    88, 53, 77, 92, 126, 91, 85, 37, 44, 70, 72, 105, 121, 79, 66, 90, 80, 42, 113, 68,
    102, 62, 33, 75, 61, 59, 106, 112, 84, 86, 125, 63, 36, 101, 115};

QString WithoutLineBreaks(QString text) {
    text.remove(u'\r');
    text.remove(u'\n');
    return text;
}

QString Substitute(const QString& text, const Alphabet& from, const Alphabet& to,
                   const QString& operation) {
    const QString source = text::Trim(WithoutLineBreaks(text));
    QString result;
    result.reserve(source.size());
    for (QChar c : source) {
        const auto* found = std::find(from.begin(), from.end(), c.unicode());
        if (found == from.end())
            throw MeltrixError(QStringLiteral("Caracter inválido em \"%1\". Caracter: %2  Ascii: %3")
                                   .arg(operation, QString(c))
                                   .arg(c.unicode()));
        result += QChar(to[static_cast<std::size_t>(found - from.begin())]);
    }
    return result;
}

}  // namespace

QString Encriptar(const QString& text) {
    return Substitute(text, Plain, Ciphered, QStringLiteral("Encriptar"));
}

QString Decriptar(const QString& text) {
    return Substitute(text, Ciphered, Plain, QStringLiteral("Decriptar"));
}

QString EncriptarLinha(const QString& text) {
    return QString::fromUtf16(Marker) + date_time::IsoLocalWithZ(Clock::now()) + u'|' +
           Encriptar(text);
}

QString DecriptarTexto(const QString& block) {
    const QString marker = QString::fromUtf16(Marker);
    if (!block.startsWith(marker)) return block;

    QString result;
    for (const QString& rawPiece : block.split(marker)) {
        const QString piece = WithoutLineBreaks(text::Trim(rawPiece));
        if (piece.isEmpty()) continue;
        const qsizetype bar = piece.indexOf(u'|');
        const QString head = bar < 0 ? QString() : piece.left(bar + 1);
        const QString tail = bar < 0 ? piece : piece.mid(bar + 1);
        result += head + Decriptar(tail) + QStringLiteral("\r\n");
    }
    return result;
}

QString MD5Hex(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex().toUpper());
}

QString TokenDoDia(const QString& companyIdentifier) {
    QString digits = companyIdentifier;
    digits.remove(u'.').remove(u'-').remove(u'/');
    const QDate today = Clock::now().date();
    return MD5Hex(digits + QString::number(today.dayOfYear()) +
                  QStringLiteral("%1").arg(today.year(), 4, 10, QLatin1Char('0')));
}

}  // namespace cipher
