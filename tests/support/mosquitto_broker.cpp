#include "support/mosquitto_broker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <pwd.h>
#include <unistd.h>

namespace {

constexpr int kStartTimeoutMs = 10'000;
constexpr int kStopTimeoutMs = 5'000;
constexpr int kPortAttempts = 5;
constexpr int kProbeTimeoutMs = 50;

const QString kBrokerProgram = QStringLiteral("/usr/sbin/mosquitto");
const QString kPasswordProgram = QStringLiteral("/usr/bin/mosquitto_passwd");
const QString kOpenSslProgram = QStringLiteral("/usr/bin/openssl");

bool runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    return tool.waitForFinished(kStartTimeoutMs) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

quint16 findFreeLoopbackPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

// Started as root, mosquitto would switch to its own user and could no longer read the
// temporary folder; naming the current user keeps it as it is.
QString currentUserName() {
    const passwd* entry = getpwuid(geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

}  // namespace

MosquittoBroker::MosquittoBroker(Options options) : FOptions(std::move(options)) {}

MosquittoBroker::~MosquittoBroker() {
    if (!FProcess) return;
    FProcess->kill();
    FProcess->waitForFinished(kStopTimeoutMs);
}

bool MosquittoBroker::start() {
    if (FProcess) return true;
    if (!FFolder.isValid()) return false;
    if (FPort == 0 && !FOptions.user.isEmpty() && !writePasswordFile()) return false;
    if (FPort == 0 && FOptions.tls && !writeCertificates()) return false;
    if (FPort != 0) return startOnPort(FPort);
    // Another process may take the probed port before the broker binds it: try a few.
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        const quint16 port = findFreeLoopbackPort();
        if (port != 0 && startOnPort(port)) {
            FPort = port;
            return true;
        }
    }
    return false;
}

bool MosquittoBroker::startOnPort(quint16 port) {
    if (!writeConfiguration(port)) return false;
    FProcess = std::make_unique<QProcess>();
    FProcess->setProcessChannelMode(QProcess::MergedChannels);
    FProcess->setStandardOutputFile(QProcess::nullDevice());
    FProcess->start(kBrokerProgram, {QStringLiteral("-c"), FFolder.filePath(QStringLiteral("mosquitto.conf"))});
    if (FProcess->waitForStarted(kStartTimeoutMs) && waitUntilAccepting(port)) return true;
    stop();
    return false;
}

bool MosquittoBroker::writeConfiguration(quint16 port) {
    QFile file(FFolder.filePath(QStringLiteral("mosquitto.conf")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QString text = QStringLiteral("listener %1 127.0.0.1\n").arg(port);
    text += QStringLiteral("persistence false\n");
    text += QStringLiteral("log_dest file %1\n").arg(FFolder.filePath(QStringLiteral("mosquitto.log")));
    text += QStringLiteral("user %1\n").arg(currentUserName());
    if (FOptions.tls) {
        text += QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\n")
                    .arg(caCertificateFile(), FFolder.filePath(QStringLiteral("server.pem")),
                         FFolder.filePath(QStringLiteral("server.key")));
    }
    if (FOptions.user.isEmpty()) {
        text += QStringLiteral("allow_anonymous true\n");
    } else {
        text += QStringLiteral("allow_anonymous false\n");
        text += QStringLiteral("password_file %1\n").arg(FFolder.filePath(QStringLiteral("passwords")));
    }
    return file.write(text.toUtf8()) > 0;
}

bool MosquittoBroker::writePasswordFile() {
    return runTool(kPasswordProgram, {QStringLiteral("-b"), QStringLiteral("-c"),
                                      FFolder.filePath(QStringLiteral("passwords")), FOptions.user,
                                      FOptions.password});
}

bool MosquittoBroker::writeCertificates() {
    const auto path = [this](const char* name) { return FFolder.filePath(QString::fromLatin1(name)); };
    const QStringList newKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    QFile extensions(path("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly) || extensions.write("subjectAltName=DNS:localhost\n") <= 0)
        return false;
    extensions.close();
    return runTool(kOpenSslProgram, QStringList{"req", "-x509"} + newKey +
                                        QStringList{"-keyout", path("ca.key"), "-out", caCertificateFile(),
                                                    "-days", "2", "-subj", "/CN=Meltrix test CA"}) &&
           runTool(kOpenSslProgram, QStringList{"req"} + newKey +
                                        QStringList{"-keyout", path("server.key"), "-out", path("server.csr"),
                                                    "-subj", "/CN=localhost"}) &&
           runTool(kOpenSslProgram, {"x509", "-req", "-in", path("server.csr"), "-CA", caCertificateFile(),
                                     "-CAkey", path("ca.key"), "-CAcreateserial", "-out", path("server.pem"),
                                     "-days", "2", "-extfile", path("server.ext")});
}

bool MosquittoBroker::waitUntilAccepting(quint16 port) {
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(kProbeTimeoutMs)) return true;
        if (FProcess->waitForFinished(kProbeTimeoutMs)) return false;  // could not bind the port
    }
    return false;
}

void MosquittoBroker::stop() {
    if (!FProcess) return;
    FProcess->terminate();
    if (!FProcess->waitForFinished(kStopTimeoutMs)) {
        FProcess->kill();
        FProcess->waitForFinished(kStopTimeoutMs);
    }
    FProcess.reset();
}

TMqttConnectionSettings MosquittoBroker::connectionSettings() const {
    TMqttConnectionSettings settings;
    settings.host = FOptions.tls ? QStringLiteral("localhost") : host();
    settings.port = FPort;
    settings.user = FOptions.user;
    settings.password = FOptions.password;
    settings.useTls = FOptions.tls;
    return settings;
}

QString MosquittoBroker::caCertificateFile() const { return FFolder.filePath(QStringLiteral("ca.pem")); }

QString MosquittoBroker::log() const {
    QFile file(FFolder.filePath(QStringLiteral("mosquitto.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
