#include "agents/dm_agent.h"

#include "agents/agent_socket.h"
#include "agents/brelk_protocol_agent.h"
#include "agents/mtconnect_agent.h"
#include "agents/tag_table_reader.h"
#include "messaging/payloads.h"
#include "pipeline/agent_portavoz.h"
#include "summaries/resumo_mem_cache.h"
#include "util/cipher.h"
#include "util/clock.h"
#include "util/date_time.h"
#include "util/error.h"
#include "util/hex_ids.h"
#include "util/text.h"
#include "util/timing.h"
#include "util/topics.h"

#include <QCoreApplication>

#include <utility>

namespace {

const QString ProtocolMqtt = QStringLiteral("MQTT");
const QString ProtocolMTConnect = QStringLiteral("MTConnect");
const QString ProtocolBrelk = QStringLiteral("BrelkProtocol");
const QString SocketLogSerial = QStringLiteral("SOCKET");
constexpr quint16 HighestResumoRetry = 9;
constexpr qint64 LogTelnetMinutes = 30 * 60;

int Milliseconds(std::chrono::milliseconds interval) { return static_cast<int>(interval.count()); }




}  // namespace

// ---- construction and destruction

TDMAgent::TDMAgent(const TMaquina& maquina, TAgentEnvironment environment)
    : fMaquina(maquina), FEnvironment(std::move(environment)), FLastResumosLog(Clock::now()) {
    reenableSendResumoTimer.setSingleShot(true);
    connect(&reenableSendResumoTimer, &QTimer::timeout, this, [this] {
        if (FTimerSendResumos) FTimerSendResumos->RestartThread();
    });
    connect(&FMQTT, &TMqttClient::connecting, this, &TDMAgent::MQTTBeforeConnect);
    connect(&FMQTT, &TMqttClient::connected, this, &TDMAgent::MQTTMQTTConnect);
    connect(&FMQTT, &TMqttClient::disconnected, this, &TDMAgent::MQTTMQTTDisconnect);
    connect(&FMQTT, &TMqttClient::messageReceived, this, &TDMAgent::MQTTMQTTPublish);
    connect(&FMQTT, &TMqttClient::error, this, [this](const QString& text) { RegisterLog("MQTT Error: " + text); });
    initializeAgent();
    connectMqtt();
    RegisterSocketLog(QStringLiteral("[TDMAgent.DataModuleCreate] criando maquina"));
}

TDMAgent::~TDMAgent() {
    // Every step runs whatever an earlier one raised: summaries must reach the disk.
    const auto guarded = [this](const auto& step) {
        try {
            step();
        } catch (const std::exception& error) {
            logToSink(fMaquina.Serial(), QStringLiteral("[TDMAgent.Destroy] ") + ErrorMessage(error), true);
        }
    };
    guarded([this] { Shutdown(); });
    // Machine input held during a last-values pause is processed rather than dropped.
    guarded([this] {
        if (dataProcess)
            for (const QString& text : std::exchange(FHeldMachineInput, {})) dataProcess->run(text);
    });
    // The spokesman and the data process use the tag table and the cache: they go first.
    portavoz.reset();
    guarded([this] { dataProcess.reset(); });
    guarded([this] { FResumos->persist(); });
}

void TDMAgent::initializeAgent() {
    fMaquina.setActive(true);
    fMaquina.setTelnetStatus(QStringLiteral("Stand by"));
    fMaquina.setMqttStatus(QStringLiteral("Stand by"));
    ChangedStatus();
    FResumos = std::make_unique<TResumoMemCache>(fMaquina.Serial(),
                                                 [this](const QString& m, bool danger) { RegisterLog(m, danger); });
    FSocket = std::make_unique<TAgentSocket>(
        fMaquina.Endereco(), fMaquina.Porta(), [this](TAgentSocket&) { CSocketConnect(); },
        [this](TAgentSocket&) { CSocketDisconnect(); }, [this](TAgentSocket&) { CSocketRead(); },
        [this](TAgentSocket&, int& errorCode) { CSocketError(errorCode); });

    const TProcRegLog3 log = [this](const QString& m, bool danger) { RegisterLog(m, danger); };
    const QString& protocolo = fMaquina.Protocolo();
    if (protocolo == ProtocolMqtt || protocolo == ProtocolMTConnect) {
        dataProcess = std::make_unique<TMTConnectAgent>(fMaquina, log, agentMqtt, *FResumos, FTagMTConnectDict);
    } else if (protocolo == ProtocolBrelk) {
        auto brelk = std::make_unique<TBrelkProtocolAgent>(fMaquina, log, agentMqtt, *FResumos, FTagMTConnectDict,
                                                           FEnvironment.plainRequests);
        brelk->SetSocket(FSocket.get());
        dataProcess = std::move(brelk);
    }
    if (dataProcess)
        portavoz = std::make_unique<TAgentPortavoz>(agentMqtt, fMaquina, *dataProcess, FTagMTConnectDict, log);
    if (protocolo != ProtocolMqtt) startConnectTimer();
}

void TDMAgent::Shutdown() {
    if (fShutdown) return;
    fMaquina.setTelnetStatus(QString());
    fMaquina.setMqttStatus(QString());
    fMaquina.setInfo(QString());
    ChangedStatus();
    fShutdown = true;
    stopTimer(FTimerConnectSocket);
    FSocket->Disconnect();
    if (dataProcess) {
        // The power-off is published, notified and written while the connection still exists.
        dataProcess->createPoweroffResumo();
        dataProcess->flushPoweroff();
    }
    FMQTT.Disconnect();
    stopCloudTimers();
    reenableSendResumoTimer.stop();
    logToSink(fMaquina.Serial(), QStringLiteral("Machine shutdown procedure"), false);
}

// ---- logging and status

void TDMAgent::logToSink(const QString& serial, const QString& message, bool danger) {
    if (!FEnvironment.log || !QCoreApplication::instance()) return;
    std::lock_guard lock(fLogGuard);
    // The line carries its own copies: it is written even if the agent is gone by then.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [sink = FEnvironment.log, serial, message, danger] { sink(serial, message, danger); },
        Qt::QueuedConnection);
}

void TDMAgent::RegisterLog(const QString& pMsg, bool pDanger) {
    if (fShutdown) return;
    logToSink(fMaquina.Serial(), pMsg, pDanger);
}

void TDMAgent::RegisterSocketLog(const QString& pMsg, bool pDanger) {
    if (fShutdown) return;
    logToSink(SocketLogSerial,
              pMsg + QStringLiteral(" | Máquina: ") + fMaquina.Nome() + QStringLiteral(" | Porta: ") +
                  QString::number(FSocket ? FSocket->getSocketPort() : fMaquina.Porta()),
              pDanger);
}

void TDMAgent::ChangedStatus() {
    if (fShutdown || !FEnvironment.statusChanged || !QCoreApplication::instance()) return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [sink = FEnvironment.statusChanged, record = fMaquina] { sink(record); },
        Qt::QueuedConnection);
}

void TDMAgent::stopTimer(std::unique_ptr<TTimerThread>& timer) {
    if (!timer) return;
    // Often called from the timer's own tick: it is paused now and freed once the tick is over.
    timer->PauseThread();
    timer.release()->deleteLater();
}

// ---- machine link

void TDMAgent::startConnectTimer() {
    if (FTimerConnectSocket) return;
    FTimerConnectSocket = std::make_unique<TTimerThread>(
        false, Milliseconds(Timing::get().machineConnectDelay), [this](TTimerThread&) { connectMaquinaSocket(); },
        true, [this](const QString& m, bool danger) { RegisterLog(m, danger); });
}

void TDMAgent::connectMaquinaSocket() {
    RegisterLog(QStringLiteral("Connecting with machine on %1:%2...").arg(fMaquina.Endereco()).arg(fMaquina.Porta()));
    FSocket->Connect();
    RegisterLog(QStringLiteral("Waiting for connection response..."));
}

void TDMAgent::CSocketConnect() {
    QString marker = QStringLiteral("1");
    try {
        if (FTimerConnectSocket) FTimerConnectSocket->PauseThread();
        marker = QStringLiteral("2");
        setSocketStatus(QStringLiteral("Connected"));
        marker = QStringLiteral("3");
        RegisterSocketLog(QStringLiteral("Conectado"));
        marker = QStringLiteral("4");
        FSocket->Send(cipher::TokenDoDia() + QStringLiteral("\r\n"));
        marker = QStringLiteral("5");
        startSocketPing();
        marker = QStringLiteral("6");
        if (dataProcess) dataProcess->start();
        marker = QStringLiteral("7");
    } catch (const std::exception& error) {
        RegisterSocketLog(QStringLiteral("TDMAgent.CSocketConnect Trace: (") + marker + QStringLiteral(") Exception: ") +
                          ErrorMessage(error));
    }
}

void TDMAgent::CSocketRead() {
    if (fShutdown) return;
    QString marker = QStringLiteral("1");
    try {
        QString text = FSocket->ReadAvailableText();
        marker = QStringLiteral("2");
        text = cipher::DecriptarTexto(text);
        marker = QStringLiteral("3");
        if (FLogTelnet && FMQTT.IsConnected()) {
            marker = QStringLiteral("4");
            const QString topic = topics::Telnet(fMaquina.Serial());
            text = payloads::TelnetPayload(topic, text);
            marker = QStringLiteral("8");
            agentMqtt.Publish(topic, text, TmqttQoS::AtMostOnce, false);
        }
        marker = QStringLiteral("9");
        runMachineInput(text);
        marker = QStringLiteral("10");
    } catch (const std::exception& error) {
        RegisterLog(QStringLiteral("[TelnetDataAvailable]  | StrackTrace: ") + marker + QStringLiteral(" | ") +
                    ErrorMessage(error));
    }
}

void TDMAgent::CSocketDisconnect() {
    stopSocketPing();
    if (fShutdown) return;
    setSocketStatus(QStringLiteral("Disconnected"));
    RegisterSocketLog(QStringLiteral("Desconectado"));
    socketConnectionLost();
}

void TDMAgent::CSocketError(int errorCode) {
    stopSocketPing();
    setSocketStatus(QStringLiteral("Error: ") + QString::number(errorCode));
    RegisterSocketLog(QStringLiteral("Erro: ") + QString::number(errorCode));
    socketConnectionLost();
}

void TDMAgent::startSocketPing() {
    FTimerSocketPing = std::make_unique<TTimerThread>(
        false, Milliseconds(Timing::get().socketPing), [this](TTimerThread&) { FSocket->CheckIfConnectionIsAlive(); },
        false, [this](const QString& m, bool danger) { RegisterLog(m, danger); });
}

void TDMAgent::stopSocketPing() { stopTimer(FTimerSocketPing); }

void TDMAgent::setSocketStatus(const QString& status) {
    RegisterLog(QStringLiteral("Socket: ") + status);
    fMaquina.setTelnetStatus(status);
    ChangedStatus();
}

void TDMAgent::socketConnectionLost() {
    const int seconds = FSocket->GetReconnectionTryInterval();
    RegisterLog(QStringLiteral("Socket: Trying to reconnect in %1 seconds").arg(seconds));
    if (!fShutdown && dataProcess) {
        try {
            dataProcess->createPoweroffResumo();
        } catch (const std::exception& error) {
            RegisterLog(QStringLiteral("[TDMAgent.socketConnectionLost] ") + ErrorMessage(error), true);
        }
    }
    reconnectMaquinaSocket(seconds);
}

void TDMAgent::reconnectMaquinaSocket(int seconds) {
    if (!FTimerConnectSocket) {
        RegisterLog(QStringLiteral("Socket: not Assigned(FTimerConnectSocket)"));
        return;
    }
    if (!FTimerConnectSocket->IsPaused()) {
        RegisterLog(QStringLiteral("Socket: not FTimerConnectSocket.IsPaused = configurado com: %1 ms")
                        .arg(FTimerConnectSocket->TimeMilliSeconds()));
        return;
    }
    const int interval = seconds * Milliseconds(Timing::get().reconnectSecond);
    RegisterLog(QStringLiteral("Socket: FTimerConnectSocket.IsPaused = reiniciando com: %1 ms | mudando para: %2ms")
                    .arg(FTimerConnectSocket->TimeMilliSeconds())
                    .arg(interval));
    FTimerConnectSocket->setTimeMilliSeconds(interval);
    FTimerConnectSocket->RestartThread();
    RegisterLog(FTimerConnectSocket->IsPaused()
                    ? QStringLiteral("[TDMAgent.reconnectMaquinaSocket] continuou pausada, verificar...")
                    : QStringLiteral("[TDMAgent.reconnectMaquinaSocket] despausada com sucesso!"));
}

// ---- cloud link: connection

void TDMAgent::connectMqtt() {
    TMqttConnectionSettings settings;
    settings.host = FEnvironment.broker.Host;
    settings.port = static_cast<quint16>(FEnvironment.broker.Port);
    settings.user = FEnvironment.broker.User;
    settings.password = FEnvironment.broker.Password;
    settings.useTls = false;  // the machine agents never use TLS
    FMQTT.Connect(settings);
}

void TDMAgent::MQTTBeforeConnect() {
    RegisterLog(QStringLiteral("MQTT Conectando... "));
    RegisterSocketLog(QStringLiteral("Conectando..."));
}

void TDMAgent::MQTTMQTTConnect() {
    if (fShutdown) return;
    subscribeTopics();
    startSendResumosTimer();
    armStartTimeout();
    for (const TPublication& publication : payloads::MachineAnnouncement(fMaquina))
        agentMqtt.Publish(publication.topic, publication.payload, TmqttQoS::AtMostOnce, publication.retain);
    if (dataProcess) {
        std::lock_guard lock(dataProcess->regrasLock());
        if (!dataProcess->regras().dict().empty()) requestLastValues();
    }
    setMqttStatus(QStringLiteral("Online"));
}

void TDMAgent::MQTTMQTTDisconnect() {
    if (fShutdown) return;
    stopCloudTimers();
    setMqttStatus(QStringLiteral("Offline"));
}

void TDMAgent::setMqttStatus(const QString& status) {
    fMaquina.setMqttStatus(status);
    RegisterLog(QStringLiteral("MQTT: ") + status);
    ChangedStatus();
}

void TDMAgent::subscribeTopics() {
    const QString& serial = fMaquina.Serial();
    for (const QString& topic :
         {topics::ModeloRegras(fMaquina.IDModelo()), topics::GetRegra(serial), topics::Get(serial),
          topics::SetParam(serial), topics::Subscribe(serial), topics::DataInput(serial), topics::ResumoAck(serial),
          topics::ChangeLog(serial), topics::GetClientName(serial), topics::TabReferencia(), topics::LastValues(serial)})
        FMQTT.Subscribe(topic, TmqttQoS::AtMostOnce);
}

void TDMAgent::startSendResumosTimer() {
    if (FTimerSendResumos) return;
    FTimerSendResumos = std::make_unique<TTimerThread>(
        false, Milliseconds(Timing::get().sendResumos), [this](TTimerThread&) { sendResumosTimer(); }, false,
        [this](const QString& m, bool danger) { RegisterLog(m, danger); });
}

void TDMAgent::armStartTimeout() {
    if (FTimerStartTimeout) return;
    FTimerStartTimeout = std::make_unique<TTimerThread>(
        false, Milliseconds(Timing::get().startTimeout), [this](TTimerThread&) { startMachine(); }, true,
        [this](const QString& m, bool danger) { RegisterLog(m, danger); });
}

void TDMAgent::stopCloudTimers() {
    stopTimer(FTimerSendResumos);
    stopTimer(FTimerStartTimeout);
}

// ---- cloud link: messages

void TDMAgent::MQTTMQTTPublish(const QString& topic, const QString& payload) {
    if (fShutdown) return;
    try {
        dispatch(topic, payload);
    } catch (const std::exception& error) {
        RegisterLog(QStringLiteral("MQTT Exception: ") + ErrorMessage(error));
    }
}

void TDMAgent::dispatch(const QString& topic, const QString& payload) {
    const QString& serial = fMaquina.Serial();
    if (topic == topics::ResumoAck(serial)) {
        acknowledgeResumo(payload);
    } else if (topic == topics::DataInput(serial)) {
        runMachineInput(payloads::DataInputText(Clock::now(), payload));
    } else if (topic == topics::Subscribe(serial)) {
        subscribeNotification(payload);
    } else if (topic == topics::ModeloRegras(fMaquina.IDModelo())) {
        if (dataProcess) dataProcess->setRegras(payload);
        requestLastValues();
    } else if (topic == topics::GetRegra(serial)) {
        if (portavoz) portavoz->talkAboutRegras(payload);
    } else if (topic == topics::Get(serial)) {
        if (portavoz) portavoz->talkAboutValues(payload);
    } else if (topic == topics::SetParam(serial)) {
        setParam(payload);
    } else if (topic == topics::ChangeLog(serial)) {
        if (portavoz) portavoz->talkAboutRegrasChangeLog(payload);
    } else if (topic.endsWith(QStringLiteral("GETCLIENTNAME"))) {
        agentMqtt.Publish(topics::Response(serial), FEnvironment.clientName ? FEnvironment.clientName() : QString(),
                          TmqttQoS::AtMostOnce, false);
    } else if (topic.endsWith(QStringLiteral("TABREFERENCIA"))) {
        if (!dataProcess) return;
        std::lock_guard lock(dataProcess->regrasLock());
        readTabReferencia(payload, FTagMTConnectDict, [this](const QString& m, bool danger) { RegisterLog(m, danger); });
    } else if (topic.endsWith(QStringLiteral("LAST_VALUES"))) {
        receiveLastValues(payload);
    }
}

void TDMAgent::subscribeNotification(const QString& payload) {
    const QStringList parts = payload.split(u'|');
    if (parts.size() != 2) return;
    try {
        const QDateTime expiry = date_time::ParseIsoToUtc(parts[1]).addSecs(20 * 60);
        if (expiry > Clock::nowUtc() && dataProcess) dataProcess->subscribe(parts[0], expiry);
    } catch (const std::exception& error) {
        RegisterLog(u'[' + fMaquina.Serial() + QStringLiteral("/SUBSCRIBE] Erro: ") + ErrorMessage(error));
    }
}

void TDMAgent::setParam(const QString& payload) {
    if (!payload.startsWith(QStringLiteral("LOG_TELNET:"))) return;
    FLogTelnet = payload.contains(QStringLiteral("TRUE"));
    if (FLogTelnet) FLogTelnetShutdownAt = Clock::now().addSecs(LogTelnetMinutes * 60);
}

void TDMAgent::requestLastValues() {
    if (hasLastValuesBeenRequested) return;
    agentMqtt.Publish(topics::LastValuesGet(fMaquina.Serial()), QString(), TmqttQoS::AtMostOnce, false);
    hasLastValuesBeenRequested = true;
}

void TDMAgent::receiveLastValues(const QString& payload) {
    if (!dataProcess) return;
    dataProcess->setLastValuesRegras(payload, FResumos->queryLast());
    // The pause before the rules are initialised must not hold up every other agent. Machine
    // input that arrives meanwhile is held and run afterwards, as if the pause had blocked:
    // the initialisation would otherwise wipe the values it brought.
    ++FLastValuesWaits;
    QTimer::singleShot(Timing::get().lastValuesPause, this, [this] {
        --FLastValuesWaits;
        if (fShutdown) return;
        try {
            // One hold of the rules mutex: the tick thread must not see the emptied values.
            std::lock_guard lock(dataProcess->regrasLock());
            dataProcess->initializeRegras();
            dataProcess->writeResumo(Clock::now());
            dataProcess->postChangesToRegras();
        } catch (const std::exception& error) {
            RegisterLog(QStringLiteral("[TDMAgent.LAST_VALUES] ") + ErrorMessage(error), true);
        }
        startMachine();
        runHeldMachineInput();
    });
}

void TDMAgent::runMachineInput(const QString& text) {
    if (!dataProcess) return;
    if (FLastValuesWaits > 0)
        FHeldMachineInput.append(text);
    else
        dataProcess->run(text);
}

void TDMAgent::runHeldMachineInput() {
    if (FLastValuesWaits > 0) return;
    for (const QString& text : std::exchange(FHeldMachineInput, {})) dataProcess->run(text);
}

void TDMAgent::startMachine() {
    RegisterLog(QStringLiteral("starting machine ") + text::Quoted(fMaquina.Nome()) + QStringLiteral("..."));
    stopTimer(FTimerStartTimeout);
    if (dataProcess) {
        {
            std::lock_guard lock(dataProcess->regrasLock());
            dataProcess->setLastValuesFromResumo(FResumos->queryLast());
        }
        dataProcess->start();
    }
    FMQTT.Unsubscribe(topics::LastValues(fMaquina.Serial()));
}

// ---- cloud link: summary delivery

void TDMAgent::sendResumosTimer() {
    if (!FTimerSendResumos) {
        RegisterLog(QStringLiteral("[sendResumosTimer] FTimerSendResumos está not assigned, verificar..."));
        return;
    }
    if (FLastResumosLog.msecsTo(Clock::now()) >= Timing::get().resumoCountersLog.count()) {
        RegisterLog(QStringLiteral("Quantidade de resumos em memoria: %1 Resumos em memoria array: %2 Resumos em disco: %3")
                        .arg(FResumos->amountOfLotesInMemory())
                        .arg(FResumos->amountOfLotesInMemoryArray())
                        .arg(FResumos->amountOfLotesInDisk()));
        FLastResumosLog = Clock::now();
    }
    FTimerSendResumos->PauseThread();
    const QString text = FResumos->amountOfLotes() == 0 ? QString() : FResumos->get();
    if (text.isEmpty()) {
        FTimerSendResumos->RestartThread();
        return;
    }
    reenableSendResumoTimer.stop();
    countResumoRetry(text);
    sendResumo(text);
    reenableTimerAfterTimeoutInterval();
    if (FLogTelnet && Clock::now() >= FLogTelnetShutdownAt) FLogTelnet = false;
}

void TDMAgent::countResumoRetry(const QString& text) {
    const QString digest = hex_ids::Sha1(text);
    if (digest == lastResumoSent && lastResumoSentRetryCount < HighestResumoRetry) ++lastResumoSentRetryCount;
    lastResumoSent = digest;
}

void TDMAgent::sendResumo(const QString& text) {
    if (FMQTT.IsConnected()) {
        agentMqtt.Publish(topics::Resumo(fMaquina.Serial()), text, TmqttQoS::AtMostOnce, false);
        return;
    }
    RegisterLog(QStringLiteral("[TDMAgent.sendResumo] (Agent ") + fMaquina.Serial() +
                QStringLiteral(") Tentando enviar resumo sem conexão com MQTT!"));
}

void TDMAgent::reenableTimerAfterTimeoutInterval() {
    const auto& timing = Timing::get();
    reenableSendResumoTimer.start(
        Milliseconds(timing.resumoAckWait + timing.resumoAckWaitPerRetry * lastResumoSentRetryCount));
}

void TDMAgent::acknowledgeResumo(const QString& payload) {
    try {
        if (payload != lastResumoSent) {
            RegisterLog(QStringLiteral("(Agent ") + fMaquina.Serial() +
                        QStringLiteral(") Uma confirmação de resumo recebido não condiz com o último resumo enviado. IGNORADO"));
            return;
        }
        reenableSendResumoTimer.stop();
        FResumos->delete_();
        lastResumoSentRetryCount = 0;
        sendResumosTimer();
    } catch (const std::exception& error) {
        RegisterLog(QStringLiteral("[TDMAgent.MQTTMQTTPublish.ACK] (Agent ") + fMaquina.Serial() +
                    QStringLiteral(") ERRO: ") + ErrorMessage(error));
    }
}
