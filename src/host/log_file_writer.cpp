#include "host/log_file_writer.h"

#include "util/app_paths.h"
#include "util/clock.h"
#include "util/code_page.h"
#include "util/date_time.h"
#include "util/error.h"

#include <QDir>
#include <QFile>

namespace {

const QString SocketSerial = QStringLiteral("SOCKET");

// A serial names a file inside "Logs" and must never reach outside it.
void CheckUsableInFileName(const QString& serial) {
    if (serial.contains(u'/') || serial.contains(u'\\') || serial.contains(QChar(0)) || serial == u"." ||
        serial == u"..")
        throw MeltrixError(QStringLiteral("O serial \"%1\" não pode formar o nome de um arquivo de log").arg(serial));
}

}  // namespace

QString TLogFileWriter::StampedLine(const QString& message) {
    return date_time::DiaHora(Clock::now()) + u' ' + message;
}

QString TLogFileWriter::FileName(const QString& serial, const QDate& day) {
    const QString date = date_time::DDMMYYYY(day);
    if (serial == SocketSerial) return SocketSerial + u'_' + date + QStringLiteral(".log");
    return (serial.isEmpty() ? QStringLiteral("Meltrix") : serial) + u'_' + date + QStringLiteral(".log");
}

void TLogFileWriter::Append(const QString& serial, const QString& line) {
    CheckUsableInFileName(serial);
    std::lock_guard lock(FCriticalLog);
    const QString folder = app_paths::LogsFolder();
    if (!QDir().mkpath(folder))
        throw MeltrixError(QStringLiteral("Não foi possível criar a pasta \"%1\"").arg(folder));
    QFile file(QDir(folder).filePath(FileName(serial, Clock::now().date())));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) ||
        file.write(code_page::Encode(line + QStringLiteral("\r\n"))) < 0)
        throw MeltrixError(QStringLiteral("Não foi possível gravar \"%1\": %2").arg(file.fileName(), file.errorString()));
}
