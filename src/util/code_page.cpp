#include "util/code_page.h"

#include "util/error.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace code_page {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString DecodeWindows1252(const QByteArray& bytes) {
    QString result;
    result.reserve(bytes.size());
    for (char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        result += (code >= 0x80 && code <= 0x9F) ? QChar(Windows1252High[code - 0x80]) : QChar(code);
    }
    return result;
}

}  // namespace

QString Decode(const QByteArray& bytes) {
    if (const auto marked = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*marked);
        return decoder.decode(bytes);
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? DecodeWindows1252(bytes) : text;
}

QByteArray Encode(const QString& text) { return text.toUtf8(); }

QString ReadTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw MeltrixError(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
    return Decode(file.readAll());
}

void WriteTextFile(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Encode(text)) < 0 || !file.commit())
        throw MeltrixError(QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
}

}  // namespace code_page
