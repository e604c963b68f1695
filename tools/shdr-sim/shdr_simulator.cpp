#include "shdr-sim/shdr_simulator.h"

#include "util/cipher.h"
#include "util/clock.h"
#include "util/code_page.h"
#include "util/date_time.h"
#include "util/error.h"

#include <QRegularExpression>
#include <QTcpSocket>

namespace {

const QString LineEnd = QStringLiteral("\r\n");

bool IsToken(const QString& message) {
    static const QRegularExpression token(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    return token.match(message).hasMatch();
}

// The request as the agent wrote it before enciphering.
QString PollText(const QList<TPollItem>& items, bool enciphered) {
    QString text = enciphered ? QStringLiteral("GET") : QString();
    for (const TPollItem& item : items) text += u'|' + item.key + u'|' + item.parameter;
    return text;
}

QString ShdrLine(const TTagValues& fields) {
    QString line = date_time::IsoLocalWithZ(Clock::nowUtc());
    for (const TTagValue& field : fields) line += u'|' + field.first + u'|' + field.second;
    return line;
}

}  // namespace

TShdrSimulator::TShdrSimulator(TShdrSimOptions options, TSimLog log, QObject* parent)
    : QObject(parent),
      FOptions(std::move(options)),
      FLog(std::move(log)),
      FValues(FOptions.tags, FOptions.behaviour),
      FResponder(FValues, FOptions.plain) {
    connect(&FServer, &QTcpServer::newConnection, this, &TShdrSimulator::acceptClients);
    connect(&FTimer, &QTimer::timeout, this, &TShdrSimulator::tick);
}

// The server deletes its clients after the members they report to are gone; they must not
// report their disconnection then.
TShdrSimulator::~TShdrSimulator() {
    for (QTcpSocket* client : FReaders.keys()) client->disconnect(this);
}

void TShdrSimulator::start() {
    if (FOptions.mode == TShdrMode::MTConnect && !FOptions.replayFile.isEmpty())
        FReplay.emplace(FOptions.replayFile);
    if (!FServer.listen(FOptions.address, FOptions.port))
        throw MeltrixError(QStringLiteral("cannot listen on %1:%2: %3")
                               .arg(FOptions.address.toString())
                               .arg(FOptions.port)
                               .arg(FServer.errorString()));
    FTimer.start(FOptions.interval);
    notice(QStringLiteral("listening on %1:%2 as %3")
               .arg(FServer.serverAddress().toString())
               .arg(FServer.serverPort())
               .arg(FOptions.mode == TShdrMode::Brelk ? QStringLiteral("a machine of the maker's protocol")
                    : FReplay ? QStringLiteral("an MTConnect adapter replaying %1 lines").arg(FReplay->count())
                              : QStringLiteral("an MTConnect adapter")));
}

void TShdrSimulator::tick() {
    const TTagValues changed = FValues.tick();
    if (FOptions.mode != TShdrMode::MTConnect || FReaders.isEmpty()) return;
    if (FReplay)
        sendToAll({FReplay->next()});
    else if (!changed.isEmpty())
        sendToAll(shdrLines(changed));
}

QStringList TShdrSimulator::shdrLines(const TTagValues& fields) const {
    TTagValues values;
    TTagValues alarms;
    for (const TTagValue& field : fields)
        (field.first.compare(FOptions.tags.alarm, Qt::CaseInsensitive) == 0 ? alarms : values).append(field);
    QStringList lines;
    if (!values.isEmpty()) lines.append(ShdrLine(values));
    if (!alarms.isEmpty()) lines.append(ShdrLine(alarms));
    return lines;
}

void TShdrSimulator::acceptClients() {
    while (QTcpSocket* client = FServer.nextPendingConnection()) {
        client->setObjectName(client->peerAddress().toString() + u':' + QString::number(client->peerPort()));
        FReaders.insert(client, TAgentTextReader());
        connect(client, &QTcpSocket::readyRead, this, [this, client] { readFrom(client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] { forget(client); });
        notice(QStringLiteral("client %1 connected").arg(client->objectName()));
        if (FOptions.mode == TShdrMode::MTConnect && !FReplay) {
            const QStringList lines = shdrLines(FValues.snapshot());
            send(client, lines.join(LineEnd) + LineEnd, lines);
        }
    }
}

void TShdrSimulator::forget(QTcpSocket* client) {
    if (FReaders.remove(client) == 0) return;
    notice(QStringLiteral("client %1 disconnected").arg(client->objectName()));
    client->deleteLater();
}

void TShdrSimulator::readFrom(QTcpSocket* client) {
    auto reader = FReaders.find(client);
    if (reader == FReaders.end()) return;
    reader->append(client->readAll());
    for (const QString& message : reader->takeMessages()) handleMessage(client, message);
}

void TShdrSimulator::handleMessage(QTcpSocket* client, const QString& message) {
    const QString peer = client->objectName();
    if (message == TAgentTextReader::KeepAlive())
        traffic(QStringLiteral("<- %1 keep-alive \"%2\"").arg(peer, message));
    else if (IsToken(message))
        checkToken(client, message);
    else if (FOptions.mode == TShdrMode::Brelk)
        answerPoll(client, message);
    else
        traffic(QStringLiteral("<- %1 %2").arg(peer, message));
}

void TShdrSimulator::checkToken(QTcpSocket* client, const QString& token) {
    const QString expected = cipher::TokenDoDia();
    if (token.compare(expected, Qt::CaseInsensitive) == 0)
        traffic(QStringLiteral("<- %1 handshake token %2 (today's token)").arg(client->objectName(), token));
    else
        warning(QStringLiteral("<- %1 handshake token %2 differs from today's token %3")
                    .arg(client->objectName(), token, expected));
}

void TShdrSimulator::answerPoll(QTcpSocket* client, const QString& line) {
    const QString peer = client->objectName();
    std::optional<QList<TPollItem>> items;
    try {
        items = TBrelkResponder::ParsePoll(line);
    } catch (const MeltrixError& error) {
        warning(QStringLiteral("<- %1 %2 (not deciphered: %3)").arg(peer, line, error.message()));
        return;
    }
    if (!items) {
        traffic(QStringLiteral("<- %1 %2 (not a poll request, ignored)").arg(peer, line));
        return;
    }
    const bool enciphered = !line.startsWith(u'|');
    traffic(QStringLiteral("<- %1 poll %2%3")
                .arg(peer, PollText(*items, enciphered), enciphered ? QStringLiteral(" (enciphered)") : QString()));

    const TBrelkResponder::TAnswer answer = FResponder.answer(*items);
    for (const QString& dropped : answer.dropped) warning(QStringLiteral("not sent: %1").arg(dropped));
    if (!answer.wire.isEmpty()) send(client, answer.wire, answer.records);
}

void TShdrSimulator::sendToAll(const QStringList& lines) {
    const QString wire = lines.join(LineEnd) + LineEnd;
    const QList<QTcpSocket*> clients = FReaders.keys();
    for (QTcpSocket* client : clients) send(client, wire, lines);
}

void TShdrSimulator::send(QTcpSocket* client, const QString& wire, const QStringList& shown) {
    client->write(code_page::Encode(wire));
    const QString form = wire.startsWith(QString::fromUtf16(cipher::Marker)) ? QStringLiteral(" (enciphered)") : QString();
    for (const QString& line : shown) traffic(QStringLiteral("-> %1 %2%3").arg(client->objectName(), line, form));
}
