#include "util/app_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QStandardPaths>

#include <mutex>

namespace app_paths {

namespace {
std::mutex titleGuard;
QString titleOverride;

QString InBase(const QString& name) { return QDir(BaseFolder()).filePath(name); }
}  // namespace

QString BaseFolder() {
    const QString home = qEnvironmentVariable("MELTRIX_HOME");
    return home.isEmpty() ? QCoreApplication::applicationDirPath() : QDir::cleanPath(home);
}

QString Title() {
    {
        std::lock_guard lock(titleGuard);
        if (!titleOverride.isEmpty()) return titleOverride;
    }
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void OverrideTitle(const QString& title) {
    std::lock_guard lock(titleGuard);
    titleOverride = title;
}

QString ListFile() { return InBase(Title() + QStringLiteral(".cfg")); }
QString SettingsFile() { return InBase(Title() + QStringLiteral(".ini")); }
QString LogsFolder() { return InBase(QStringLiteral("Logs")); }
QString ResumoFolder() { return InBase(QStringLiteral("Resumo")); }
QString RegrasFolder() { return InBase(QStringLiteral("Regras")); }

QString HistoryFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("MeltrixHistory"));
}

QString ComputerName() {
    const QString name = qEnvironmentVariable("COMPUTERNAME");
    return name.isEmpty() ? QHostInfo::localHostName() : name;
}

}  // namespace app_paths
