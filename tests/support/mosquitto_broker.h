#pragma once

#include "messaging/mqtt_client.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A private mosquitto broker for one test: listens on a free port of 127.0.0.1 only, with
// its configuration, password file, certificates and log in a temporary folder. It can be
// stopped and started again on the same port; the destructor kills it.
class MosquittoBroker {
public:
    struct Options {
        QString user{};  // when set, only this account is allowed; otherwise anyone
        QString password{};
        bool tls = false;  // TLS only, with a certificate for "localhost" from a test CA
    };

    MosquittoBroker() = default;
    explicit MosquittoBroker(Options options);
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Starts the broker (the first time on a newly found free port, later on the same one)
    // and waits until it accepts connections.
    bool start();
    // Stops the broker and waits until the process is gone.
    void stop();

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return FPort; }
    // Host, port, the account if any, and for a TLS broker "localhost" with TLS on.
    TMqttConnectionSettings connectionSettings() const;
    // The test CA that signed a TLS broker's certificate (PEM).
    QString caCertificateFile() const;
    QString log() const;

private:
    bool startOnPort(quint16 port);
    bool writeConfiguration(quint16 port);
    bool writePasswordFile();
    bool writeCertificates();
    bool waitUntilAccepting(quint16 port);

    QTemporaryDir FFolder;
    Options FOptions;
    quint16 FPort = 0;
    std::unique_ptr<QProcess> FProcess;
};
