#include "summaries/files.h"

#include "summaries/paths.h"
#include "util/clock.h"
#include "util/code_page.h"
#include "util/date_time.h"
#include "util/text_lines.h"

#include <QFileInfo>

namespace {
const QString ResumoExtension = QStringLiteral(".txt");

bool IsDecimal(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9') return false;
    return true;
}
}  // namespace

QString TFiles::resumo(const QString& serial, quint32 orderID) {
    return QStringLiteral("%1_%2_%3%4")
        .arg(orderID)
        .arg(serial, date_time::YYYYMMDD(Clock::now().date()), ResumoExtension);
}

QString TFiles::regras(const QString& serial) { return serial + QStringLiteral(".json"); }

bool TFiles::isResumoOf(const QString& fileName, const QString& serial) {
    if (!fileName.endsWith(ResumoExtension, Qt::CaseInsensitive)) return false;
    const QString stem = fileName.chopped(ResumoExtension.size());
    const qsizetype first = stem.indexOf(u'_');
    const qsizetype last = stem.lastIndexOf(u'_');
    if (first < 0 || last == first) return false;
    return stem.mid(first + 1, last - first - 1) == serial;
}

std::optional<quint32> TFiles::resumoOrderID(const QString& fileName) {
    const QString number = fileName.left(fileName.indexOf(u'_'));
    if (!IsDecimal(number)) return std::nullopt;
    bool ok = false;
    const quint32 orderID = number.toUInt(&ok, 10);
    if (!ok) return std::nullopt;
    return orderID;
}

QString TFiles::readFrom(const QString& filename) {
    if (!QFileInfo::exists(filename)) return {};
    return text_lines::Normalised(code_page::ReadTextFile(filename));
}

void TFiles::writeTo(const QString& filename, const QString& content) {
    code_page::WriteTextFile(filename, text_lines::Normalised(content));
}

void TFiles::writeTo(const QString& filename, const QStringList& content) {
    code_page::WriteTextFile(filename, text_lines::Join(content));
}

QString TFiles::readRegrasFile(const QString& serial) {
    if (serial.isEmpty()) return {};
    return readFrom(TPaths::combine(TPaths::regras(), regras(serial)));
}

void TFiles::writeRegrasFile(const QString& serial, const QString& json) {
    if (json.isEmpty() || serial.isEmpty()) return;
    writeTo(TPaths::combine(TPaths::regras(), regras(serial)), json);
}
