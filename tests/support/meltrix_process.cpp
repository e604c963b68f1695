#include "support/meltrix_process.h"

#include "support/event_loop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString kExecutable = QStringLiteral(MELTRIX_EXECUTABLE);
constexpr int kStartTimeoutMs = 10'000;
constexpr int kKillTimeoutMs = 5'000;

// The program names its machine list and settings after its own file name.
QString Title() { return QFileInfo(kExecutable).completeBaseName(); }

void WriteText(const QString& path, const QString& text) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text.toUtf8());
}

int BatchNumber(const QString& fileName) { return fileName.section(u'_', 0, 0).toInt(); }

}  // namespace

MeltrixProcess::MeltrixProcess() : FEnvironment(QProcessEnvironment::systemEnvironment()) {
    QDir(FFolder.path()).mkpath(QStringLiteral("home"));
    FEnvironment.insert(QStringLiteral("MELTRIX_HOME"), baseFolder());
    FEnvironment.insert(QStringLiteral("XDG_DATA_HOME"), FFolder.filePath(QStringLiteral("data")));
}

MeltrixProcess::~MeltrixProcess() {
    if (!running()) return;
    FProcess->kill();
    FProcess->waitForFinished(kKillTimeoutMs);
}

void MeltrixProcess::writeMachineList(const QString& records) const {
    WriteText(QDir(baseFolder()).filePath(Title() + QStringLiteral(".cfg")), records + QStringLiteral("\r\n"));
}

void MeltrixProcess::writeSettings(quint16 brokerPort, const QString& description) const {
    const QString text = QStringLiteral(
                             "[MQTT]\r\nPadrao=0\r\nHost=127.0.0.1\r\nPort=%1\r\nUser=\r\nPassword=\r\nUseSsl=0\r\n"
                             "Description=%2\r\n")
                             .arg(brokerPort)
                             .arg(description);
    WriteText(QDir(baseFolder()).filePath(Title() + QStringLiteral(".ini")), text);
}

void MeltrixProcess::setEnvironment(const QString& name, const QString& value) { FEnvironment.insert(name, value); }

bool MeltrixProcess::start(const QStringList& arguments) {
    if (running()) return false;
    if (!FFirstDay.isValid()) FFirstDay = QDate::currentDate();
    FProcess = std::make_unique<QProcess>();
    FProcess->setProcessEnvironment(FEnvironment);
    FProcess->setWorkingDirectory(FFolder.path());
    FProcess->setProcessChannelMode(QProcess::MergedChannels);
    FProcess->setStandardOutputFile(outputFile(++FRuns));
    FProcess->start(kExecutable, arguments);
    return FProcess->waitForStarted(kStartTimeoutMs);
}

bool MeltrixProcess::stop(int timeoutMs) {
    if (!running()) return false;
    FProcess->terminate();
    return waitForExit(timeoutMs);
}

bool MeltrixProcess::waitForExit(int timeoutMs) {
    return SpinUntil([this] { return !running(); }, timeoutMs);
}

bool MeltrixProcess::running() const { return FProcess && FProcess->state() != QProcess::NotRunning; }

bool MeltrixProcess::exitedNormally() const {
    return FProcess && !running() && FProcess->exitStatus() == QProcess::NormalExit;
}

int MeltrixProcess::exitCode() const { return FProcess ? FProcess->exitCode() : -1; }

QString MeltrixProcess::output() const { return readText(outputFile(FRuns)); }

QString MeltrixProcess::baseFolder() const { return FFolder.filePath(QStringLiteral("home")); }

QString MeltrixProcess::settingsText() const {
    return readText(QDir(baseFolder()).filePath(Title() + QStringLiteral(".ini")));
}

QString MeltrixProcess::logText(const QString& name) const {
    QString text;
    if (!FFirstDay.isValid()) return text;
    const QDir logs(QDir(baseFolder()).filePath(QStringLiteral("Logs")));
    for (QDate day = FFirstDay; day <= QDate::currentDate(); day = day.addDays(1))
        text += readText(logs.filePath(logFileName(name, day)));
    return text;
}

QStringList MeltrixProcess::logFiles() const {
    const QDir logs(QDir(baseFolder()).filePath(QStringLiteral("Logs")));
    QStringList paths;
    for (const QString& name : logs.entryList(QDir::Files, QDir::Name)) paths << logs.filePath(name);
    return paths;
}

QStringList MeltrixProcess::resumoFiles() const {
    const QDir resumo(QDir(baseFolder()).filePath(QStringLiteral("Resumo")));
    QStringList names = resumo.entryList({QStringLiteral("*.txt")}, QDir::Files);
    std::sort(names.begin(), names.end(),
              [](const QString& left, const QString& right) { return BatchNumber(left) < BatchNumber(right); });
    QStringList paths;
    for (const QString& name : names) paths << resumo.filePath(name);
    return paths;
}

QString MeltrixProcess::readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString MeltrixProcess::logFileName(const QString& name, const QDate& day) {
    return name + u'_' + day.toString(QStringLiteral("ddMMyyyy")) + QStringLiteral(".log");
}

QString MeltrixProcess::outputFile(int run) const {
    return FFolder.filePath(QStringLiteral("output-%1.txt").arg(run));
}
