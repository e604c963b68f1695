#pragma once

#include "shdr-sim/agent_text_reader.h"
#include "shdr-sim/brelk_responder.h"
#include "shdr-sim/machine_values.h"
#include "shdr-sim/shdr_replay.h"
#include "sim_log.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <optional>

class QTcpSocket;

enum class TShdrMode {
    MTConnect,  // an adapter that streams SHDR lines to every client
    Brelk,      // a machine of the maker's protocol that answers poll requests
};

struct TShdrSimOptions {
    TShdrMode mode = TShdrMode::MTConnect;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 7878;  // 0: any free port
    QString replayFile;   // MTConnect: send this file's lines instead of generated values
    std::chrono::milliseconds interval{1000};
    bool plain = false;  // Brelk: answer with plain records instead of enciphered lines
    TMachineTags tags;
    TMachineBehaviour behaviour;
};

// A machine (or its MTConnect adapter) on a TCP port. Every interval the simulated machine
// advances; as an adapter it then sends the changed values (or the next replayed line) to
// every client, and a new client first gets every value. As a machine of the maker's
// protocol it sends nothing unless polled. In both modes it accepts and checks the handshake
// token and the keep-alives that the agent sends.
class TShdrSimulator : public QObject {
    Q_OBJECT

public:
    TShdrSimulator(TShdrSimOptions options, TSimLog log, QObject* parent = nullptr);
    ~TShdrSimulator() override;

    // Loads the replay file, starts listening and ticking. Throws MeltrixError.
    void start();
    quint16 serverPort() const { return FServer.serverPort(); }
    qsizetype clientCount() const { return FReaders.size(); }
    TMachineValues& values() { return FValues; }

    // One interval: the machine advances, and the adapter sends what it has to send.
    void tick();

    // SHDR lines for these values, stamped with the UTC time: the alarm on a line of its
    // own (a special tag takes every field after it), the other values on one line.
    QStringList shdrLines(const TTagValues& fields) const;

private:
    void acceptClients();
    void forget(QTcpSocket* client);
    void readFrom(QTcpSocket* client);
    void handleMessage(QTcpSocket* client, const QString& message);
    void checkToken(QTcpSocket* client, const QString& token);
    void answerPoll(QTcpSocket* client, const QString& line);
    void sendToAll(const QStringList& lines);
    void send(QTcpSocket* client, const QString& wire, const QStringList& shown);

    void traffic(const QString& line) const { FLog(TSimLogKind::Traffic, line); }
    void notice(const QString& line) const { FLog(TSimLogKind::Notice, line); }
    void warning(const QString& line) const { FLog(TSimLogKind::Warning, line); }

    TShdrSimOptions FOptions;
    TSimLog FLog;
    QTcpServer FServer;
    QTimer FTimer;
    TMachineValues FValues;
    TBrelkResponder FResponder;
    std::optional<TShdrReplay> FReplay;
    QHash<QTcpSocket*, TAgentTextReader> FReaders;
};
