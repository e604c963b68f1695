#include "summaries/paths.h"

#include "util/app_paths.h"
#include "util/error.h"

#include <QDir>

namespace {
QString Existing(const QString& folder) {
    if (!QDir().mkpath(folder))
        throw MeltrixError(QStringLiteral("Cannot create the folder \"%1\"").arg(folder));
    return folder;
}
}  // namespace

QString TPaths::combine(const QString& parent, const QString& child) {
    return QDir(parent).filePath(child);
}

QString TPaths::generic(const QString& nameDir) {
    return Existing(combine(app_paths::BaseFolder(), nameDir));
}

QString TPaths::resumo() { return Existing(app_paths::ResumoFolder()); }

QString TPaths::regras() { return Existing(app_paths::RegrasFolder()); }
