#pragma once

#include <QDate>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The real meltrix executable as a child process, on an installation of its own: a private
// base folder (MELTRIX_HOME) that holds the machine list, the settings and everything the
// program writes (Logs, Resumo, Regras). The program can be started again on the same
// folder; the destructor kills a run that is still going.
class MeltrixProcess {
public:
    MeltrixProcess();
    ~MeltrixProcess();
    MeltrixProcess(const MeltrixProcess&) = delete;
    MeltrixProcess& operator=(const MeltrixProcess&) = delete;

    // The machine list: the records as the file holds them, each ending with "|".
    void writeMachineList(const QString& records) const;
    // A local broker on 127.0.0.1 without account, and the installation's description.
    void writeSettings(quint16 brokerPort, const QString& description) const;
    void setEnvironment(const QString& name, const QString& value);

    bool start(const QStringList& arguments = {});
    // The service stop (SIGTERM), then the wait for the end.
    bool stop(int timeoutMs = 30'000);
    // Runs the event loop until the program has ended.
    bool waitForExit(int timeoutMs);
    bool running() const;
    bool exitedNormally() const;  // ended by itself, not by a signal
    int exitCode() const;
    QString output() const;  // standard output and error of the latest run

    QString baseFolder() const;
    QString settingsText() const;
    // The text of every daily log file of that name ("Meltrix", "SOCKET" or a serial) from
    // the first start until today, oldest day first.
    QString logText(const QString& name) const;
    // The paths of the log files that exist.
    QStringList logFiles() const;
    // The paths of the summary batch files, lowest batch number first.
    QStringList resumoFiles() const;

    static QString readText(const QString& path);
    // "<name>_<ddmmyyyy>.log"
    static QString logFileName(const QString& name, const QDate& day);

private:
    QString outputFile(int run) const;

    QTemporaryDir FFolder;
    QProcessEnvironment FEnvironment;
    std::unique_ptr<QProcess> FProcess;
    QDate FFirstDay;
    int FRuns = 0;
};
