#include "cloud-sim/summary_archive.h"

#include "util/code_page.h"
#include "util/error.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

TSummaryArchive::TSummaryArchive(QString folder) : FFolder(std::move(folder)) {
    if (!QDir().mkpath(FFolder))
        throw MeltrixError(QStringLiteral("cannot create the folder \"%1\"").arg(FFolder));
}

QString TSummaryArchive::FileNameOf(const QString& serial) {
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    QString name = serial;
    name.replace(unsafe, QStringLiteral("_"));
    if (name.isEmpty() || name.startsWith(u'.')) name.prepend(u'_');
    return name + QStringLiteral(".txt");
}

QString TSummaryArchive::append(const QString& serial, const QString& batch) const {
    const QString path = QDir(FFolder).filePath(FileNameOf(serial));
    QFile file(path);
    QString text = batch;
    if (!text.endsWith(u'\n')) text += QStringLiteral("\r\n");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(code_page::Encode(text)) < 0)
        throw MeltrixError(QStringLiteral("cannot write \"%1\": %2").arg(path, file.errorString()));
    return path;
}
