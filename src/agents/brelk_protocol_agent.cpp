#include "agents/brelk_protocol_agent.h"

#include "agents/agent_socket.h"
#include "util/cipher.h"
#include "util/clock.h"
#include "util/timing.h"

namespace {

// A rule never polled is due; otherwise once its interval (at least a second, in whole
// seconds) has passed.
bool IsDue(const TRegra& regra, const QDateTime& now) {
    const QDateTime& lastAsked = regra.Valor().timestampUltimoGet;
    if (!lastAsked.isValid()) return true;
    const qint64 intervalSeconds = std::max(regra.IntervaloMinimo, 1000) / 1000;
    return lastAsked.secsTo(now) >= intervalSeconds;
}

QString PollKey(const TRegra& regra) {
    const QString& name = regra.OriginalName();
    return name.startsWith(u'_') ? name.mid(1) : name;
}

}  // namespace

TBrelkProtocolAgent::TBrelkProtocolAgent(const TMaquina& maquina, TProcRegLog3 logProc, IAgentPublisher& mqttCli,
                                         TResumoMemCache& resumos, TTagMTConnectDict& TagMTConnectDict,
                                         bool plainRequests)
    : TAgentDataProcess(maquina, logProc, mqttCli, resumos, TagMTConnectDict),
      FPlainRequests(plainRequests),
      fetchSocketTimer(static_cast<int>(Timing::get().dataProcessTick.count()),
                       [this](TTimerThreadEx&) { fetchSocket(); }, &regrasLock(), false, true, logProc) {}

TBrelkProtocolAgent& TBrelkProtocolAgent::SetSocket(TAgentSocket* socket) {
    FAgentSocket = socket;
    return *this;
}

void TBrelkProtocolAgent::start() { fetchSocketTimer.restart(); }

QString TBrelkProtocolAgent::buildRequest() {
    const QDateTime now = Clock::now();
    QString request;
    TRegras::forEach(regras().protBrelkProtList(), [&](TRegra& regra) {
        if (!IsDue(regra, now)) return;
        request += u'|' + PollKey(regra) + u'|' + regra.ProtocoloParametro;
        regra.Valor().timestampUltimoGet = now;
    });
    if (request.isEmpty() || FPlainRequests) return request;
    return cipher::EncriptarLinha(QStringLiteral("GET") + request);
}

void TBrelkProtocolAgent::fetchSocket() {
    if (!hasRegras()) return;
    if (FAgentSocket && FAgentSocket->isConnected()) {
        try {
            const QString request = buildRequest();
            if (request.isEmpty()) return;
            if (FAgentSocket->isConnected()) FAgentSocket->Send(request + QStringLiteral("\r\n"));
        } catch (const std::exception& error) {
            RegisterLog(QStringLiteral("[ExecuteList] ") + QString::fromUtf8(error.what()), false);
        }
    }
    resendValues();
}

void TBrelkProtocolAgent::afterLines() {
    const QDateTime now = Clock::now();
    if (lastCreatedSummary.isValid() && lastCreatedSummary.secsTo(now) == 0) return;
    createResumoIfFlagged();
    lastCreatedSummary = now;
}
