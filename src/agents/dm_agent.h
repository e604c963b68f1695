#pragma once

#include "agents/dm_agent_mqtt.h"
#include "messaging/mqtt_client.h"
#include "rules/tag_mtconnect.h"
#include "settings/maquina.h"
#include "settings/settings.h"
#include "util/log_types.h"
#include "util/timer_thread.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class TAgentDataProcess;
class TAgentPortavoz;
class TAgentSocket;
class TResumoMemCache;

// What a machine agent receives from the installation that runs it.
struct TAgentEnvironment {
    TProcRegLog2 log;                          // the log sink, called on the main thread
    TMaquinaStatusChangedProc statusChanged;   // the status sink, called on the main thread
    std::function<QString()> clientName;       // the answer to GETCLIENTNAME
    TBrokerSettings broker;                    // read once, when the agents start
    bool plainRequests = false;                // maker's protocol requests without cipher
};

// The agent of one configured machine: it owns the machine record, the TCP link to the
// machine (handshake, reception, keep-alive, reconnection with back-off), its own MQTT
// connection to the cloud (subscriptions, dispatch, last values, summary delivery until
// acknowledged), the summary cache, the data process chosen by protocol and the spokesman.
// Lives on the main thread; its log and status calls may come from any thread.
class TDMAgent : public QObject {
    Q_OBJECT
public:
    // Throws MeltrixError when the machine has no usable address or port.
    TDMAgent(const TMaquina& maquina, TAgentEnvironment environment);
    ~TDMAgent() override;

    // Stops every activity; the destructor then persists the summaries. Idempotent.
    void Shutdown();

    const TMaquina& Config() const { return fMaquina; }
    bool LogTelnet() const { return FLogTelnet; }
    const TResumoMemCache& resumos() const { return *FResumos; }

    void RegisterLog(const QString& pMsg, bool pDanger = false);
    void RegisterSocketLog(const QString& pMsg, bool pDanger = false);

private:
    // machine link
    void initializeAgent();
    void startConnectTimer();
    void connectMaquinaSocket();
    void CSocketConnect();
    void CSocketRead();
    void CSocketDisconnect();
    void CSocketError(int errorCode);
    void startSocketPing();
    void stopSocketPing();
    void setSocketStatus(const QString& status);
    void socketConnectionLost();
    void reconnectMaquinaSocket(int seconds);
    void ChangedStatus();
    static void stopTimer(std::unique_ptr<TTimerThread>& timer);

    // cloud link
    void connectMqtt();
    void MQTTBeforeConnect();
    void MQTTMQTTConnect();
    void MQTTMQTTDisconnect();
    void MQTTMQTTPublish(const QString& topic, const QString& payload);
    void dispatch(const QString& topic, const QString& payload);
    void subscribeTopics();
    void startSendResumosTimer();
    void armStartTimeout();
    void stopCloudTimers();
    void requestLastValues();
    void receiveLastValues(const QString& payload);
    void runMachineInput(const QString& text);
    void runHeldMachineInput();
    void startMachine();
    void subscribeNotification(const QString& payload);
    void setParam(const QString& payload);
    void acknowledgeResumo(const QString& payload);
    void sendResumosTimer();
    void countResumoRetry(const QString& text);
    void sendResumo(const QString& text);
    void reenableTimerAfterTimeoutInterval();
    void setMqttStatus(const QString& status);
    void logToSink(const QString& serial, const QString& message, bool danger);

    TMaquina fMaquina;
    TAgentEnvironment FEnvironment;
    QString lastResumoSent;
    quint16 lastResumoSentRetryCount = 0;
    bool FLogTelnet = false;
    std::atomic<bool> fShutdown{false};  // also read by the data process's tick thread
    bool hasLastValuesBeenRequested = false;
    int FLastValuesWaits = 0;        // LAST_VALUES sequences waiting to initialise the rules
    QStringList FHeldMachineInput;  // machine input that arrived meanwhile, oldest first
    QDateTime FLogTelnetShutdownAt;
    QDateTime FLastResumosLog;
    std::mutex fLogGuard;

    TMqttClient FMQTT;
    TDMAgentMqtt agentMqtt{FMQTT};
    TTagMTConnectDict FTagMTConnectDict;
    std::unique_ptr<TResumoMemCache> FResumos;
    std::unique_ptr<TAgentSocket> FSocket;
    std::unique_ptr<TAgentDataProcess> dataProcess;
    std::unique_ptr<TAgentPortavoz> portavoz;

    QTimer reenableSendResumoTimer;  // the wait for a summary acknowledgement
    std::unique_ptr<TTimerThread> FTimerConnectSocket;
    std::unique_ptr<TTimerThread> FTimerSendResumos;
    std::unique_ptr<TTimerThread> FTimerSocketPing;
    std::unique_ptr<TTimerThread> FTimerStartTimeout;
};
