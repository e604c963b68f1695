#pragma once

#include "host/catalogue_table.h"
#include "host/log_file_writer.h"
#include "messaging/mqtt_client.h"
#include "settings/machine_table.h"
#include "settings/settings.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>

class IAgentProcessManager;
class IMachines;
class TdmMain;
class TMaquina;
class TTimerThread;

// How the program was started (command-line switches "CFG" and "LOGTELA").
struct TControllerOptions {
    bool ConfigurationMode = false;  // "CFG": the agents start only when asked to
    bool LogTela = false;            // "LOGTELA": with "CFG", log lines are shown on screen
};

// The installation controller: owns the machine table, the settings and the catalogue
// tables, keeps the installation's own broker connection (presence, remote commands,
// catalogue lists, new serials), starts and stops the agents through the process manager,
// copies the agents' statuses into the machine table and is the sink of every log line.
// The configuration window presents it; in service mode it runs without any screen.
//
// Lives on the main thread. RegisterLog2 may be called from any thread;
// AtualizarStatusMaquina and ServiceStop hand themselves to the main thread when called
// from another one.
class TInstallationController : public QObject {
    Q_OBJECT

public:
    enum class TCatalogo { Fabricante, Linha, Modelo };

    // Fixes the process-wide formats, points both sinks of dmMain at this controller, loads
    // the settings and the machine list (throws MeltrixError when either file cannot be
    // read or written) and connects to the broker one short moment later, once the event
    // loop runs. agents and dmMain must outlive the controller.
    TInstallationController(IAgentProcessManager& agents, TdmMain& dmMain, TControllerOptions options,
                            QObject* parent = nullptr);
    ~TInstallationController() override;

    // ---- the service host's entry points
    void ServiceStart();  // IniciarServicoWindows
    void ServiceStop();   // PararServicoWindows, then the broker connection is dropped
    void IniciarServicoWindows();
    void PararServicoWindows();

    // ---- the agents
    // Validates the machine table (throws MeltrixError with the validation message, nothing
    // started) and replaces every agent by one per row; a failure of the process manager
    // is logged and the controller still counts as started.
    void IniciarServicos();
    void ValidarMaquinas();  // throws MeltrixError at the first incomplete machine
    void PararServicos();
    void LogCache();
    void AtualizarStatusMaquina(const TMaquina& machine);
    bool Iniciado() const { return FIniciado; }

    // ---- the log sink: time stamp, daily file, and the screen when asked for
    void RegisterLog2(const QString& ASerial, const QString& AMsg, bool ADanger);

    // ---- the broker connection
    void ConectarMQTT();
    // Clears the retained presence (as the last will would) and disconnects.
    void DesconectarMQTT();
    void Reconectar();  // DesconectarMQTT, then ConectarMQTT
    bool Conectado() const { return FMQTT.IsConnected(); }
    // Asks the cloud for the serial of the machine row with this ID; only while connected.
    // Returns the request key, or an empty text when nothing was sent.
    QString SolicitarNovoSerial(int MachineID);
    void PublicarInfoMaquina();  // the announcement of the table's current row

    // ---- settings
    const TServerConfig& ServerConfig() const { return FServerConfig; }
    // Settings save ("Salvar configuração" then calls Reconectar); returns the screen as it
    // is afterwards.
    TServerConfig SalvarConfig(const TServerConfig& screen);
    TSettings& Settings() { return *FSettings; }

    // ---- closing of the configuration window
    bool CanClose() const { return !FIniciado; }
    void Fechar();  // stops the agents and the cache log, then disconnects

    // ---- data for the window and the machine editor
    const QString& MeltrixVersion() const { return FMeltrixVersion; }
    TMachineTable& mtbMaquinas() { return FMaquinas; }
    TCatalogueTable& mtbFabricante() { return FFabricante; }
    TCatalogueTable& mtbLinha() { return FLinha; }
    TCatalogueTable& mtbModelo() { return FModelo; }
    TCatalogueTable& mtbCatalogo(TCatalogo catalogo);
    const QHash<QString, int>& NewSerialWaitList() const { return FNewSerialWaitList; }

signals:
    // Only in configuration mode with "LOGTELA"; always emitted on the main thread.
    void logLineShown(const QString& serial, const QString& line, bool danger);
    void cloudOnlineChanged(bool online);
    void agentsStartedChanged(bool started);
    void logBroughtToFront();  // a start was refused: the user should see why
    void descriptionChanged(const QString& description);  // by the remote command

private:
    void Log(const QString& message, bool danger = false);
    bool ApplicationTerminating() const;
    bool OnOwnThread() const;
    void LoadSettingsAndMachines();
    void AttachBrokerHandlers();

    void MQTTConnecting();
    void MQTTConnected();
    void MQTTDisconnected();
    void MQTTError(const QString& text);
    void MQTTPublishReceived(const QString& topic, const QString& payload);
    void IniciarServicosFromConnection();
    void PublishPresence();
    void PublishAlive();
    void tmrForceAliveTimer();

    void OnSetDescription(const QString& payload);
    void OnSerialGerado(const QString& topic, const QString& payload);
    void AssignSerial(int machineID, const QString& serial);
    void OnCatalogue(TCatalogo catalogo, const QString& topic, const QString& payload);
    void RefreshCatalogueNames(TCatalogo catalogo);
    void PublishMachineReport();
    void LimparStatusMaquinas();

    IAgentProcessManager& FAgents;
    TdmMain& FdmMain;
    const TControllerOptions FOptions;
    const QString FMeltrixVersion;

    TLogFileWriter FLogWriter;  // holds FCriticalLog
    std::mutex FCriticalTab;
    std::atomic<bool> FApplicationTerminating{false};
    bool FIniciado = false;

    std::unique_ptr<TSettings> FSettings;
    TServerConfig FServerConfig;
    TMachineTable FMaquinas;
    std::shared_ptr<IMachines> fMachines;
    TCatalogueTable FFabricante;
    TCatalogueTable FLinha;
    TCatalogueTable FModelo;
    QHash<QString, int> FNewSerialWaitList;

    TMqttClient FMQTT;
    QString FDescription;  // the description the current connection was made with
    QTimer FFirstConnection;
    QTimer tmrForceAlive;
    std::unique_ptr<TTimerThread> FTimerLogCache;
};
