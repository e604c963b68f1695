#include "summaries/resumo_journal.h"

#include "summaries/files.h"
#include "util/code_page.h"
#include "util/error.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace {
const QString JournalExtension = QStringLiteral(".part");
const QString SummaryEnd = QStringLiteral("\n***\r\n");

MeltrixError JournalError(const QString& path, const QString& reason) {
    return MeltrixError(QStringLiteral("Cannot write \"%1\": %2").arg(path, reason));
}
}  // namespace

void TResumoJournal::append(const QString& piece) {
    QFile file(FPath);
    const QByteArray bytes = code_page::Encode(piece);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
        FNeedsRewrite = true;
        throw JournalError(FPath, file.errorString());
    }
}

void TResumoJournal::rewrite(const QString& wholeText) {
    TFiles::writeTo(FPath, wholeText);
    FNeedsRewrite = false;
}

void TResumoJournal::sync() const {
    QFile file(FPath);
    if (!file.exists()) return;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw JournalError(FPath, file.errorString());
    if (::fdatasync(file.handle()) != 0)
        throw JournalError(FPath, QString::fromLocal8Bit(std::strerror(errno)));
}

bool TResumoJournal::remove() const { return !QFile::exists(FPath) || QFile::remove(FPath); }

QString TResumoJournal::fileName(const QString& serial, quint32 seq) {
    return QStringLiteral("%1_%2%3").arg(seq).arg(serial, JournalExtension);
}

std::optional<quint32> TResumoJournal::seqOf(const QString& fileName, const QString& serial) {
    if (!fileName.endsWith(JournalExtension)) return std::nullopt;
    const QString stem = fileName.chopped(JournalExtension.size());
    const qsizetype first = stem.indexOf(u'_');
    if (first < 0 || stem.mid(first + 1) != serial) return std::nullopt;
    return TFiles::resumoOrderID(stem);
}

QString TResumoJournal::completeText(const QString& journalText) {
    const qsizetype end = journalText.lastIndexOf(SummaryEnd);
    return end < 0 ? QString() : journalText.left(end + SummaryEnd.size());
}
