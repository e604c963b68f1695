#include "host/installation_controller.h"

#include "host/agent_process_manager.h"
#include "host/dm_main.h"
#include "messaging/client_name.h"
#include "messaging/payloads.h"
#include "settings/machines.h"
#include "settings/maquina.h"
#include "util/app_paths.h"
#include "util/error.h"
#include "util/format_settings.h"
#include "util/text.h"
#include "util/timer_thread.h"
#include "util/timing.h"
#include "util/topics.h"
#include "util/version.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace {

const QString Alive = QStringLiteral("Alive!");
const QString Online = QStringLiteral("ONLINE");
// The broker tells connections apart by identifier; the agents use the plain prefix.
const QString ControllerClientIdPrefix = QStringLiteral("meltrix_cfg");
constexpr std::chrono::seconds BrokerKeepAlive{60};

// Where a catalogue list's fields sit in each record, and what it names in a machine row.
struct TCatalogueLayout {
    const char* topicLevel;  // third level of the topic: /IoT/<level>
    qsizetype fieldCount;
    qsizetype idField;
    qsizetype parentField;  // -1: none
    qsizetype nomeField;
    QString TMachineRow::*rowId;
    QString TMachineRow::*rowName;
};

const TCatalogueLayout FabricanteLayout{"FABRICANTES", 2, 0, -1, 1, &TMachineRow::IDFabricante,
                                        &TMachineRow::Fabricante};
const TCatalogueLayout LinhaLayout{"LINHAS", 3, 1, 0, 2, &TMachineRow::IDLinha, &TMachineRow::Linha};
// The first field of a model record is not read.
const TCatalogueLayout ModeloLayout{"MODELOS", 4, 2, 1, 3, &TMachineRow::IDModelo, &TMachineRow::Modelo};

const TCatalogueLayout& LayoutOf(TInstallationController::TCatalogo catalogo) {
    switch (catalogo) {
        case TInstallationController::TCatalogo::Fabricante: return FabricanteLayout;
        case TInstallationController::TCatalogo::Linha: return LinhaLayout;
        case TInstallationController::TCatalogo::Modelo: break;
    }
    return ModeloLayout;
}

QString VersionText() {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(meltrix_version::Major)
        .arg(meltrix_version::Minor)
        .arg(meltrix_version::Release)
        .arg(meltrix_version::Build);
}

// The description names the installation's topics: it must be a usable topic level.
void CheckDescription(const QString& description) {
    if (description.isEmpty())
        throw MeltrixError(QStringLiteral("[TFormPrincipal.SETDESCRIPTION] Descrição vazia recusada"));
    if (description.contains(u'+') || description.contains(u'#') || description.contains(QChar(0)))
        throw MeltrixError(
            QStringLiteral("[TFormPrincipal.SETDESCRIPTION] Descrição recusada (\"+\", \"#\" não são permitidos "
                           "em tópicos): %1")
                .arg(description));
}

// Puts the table's cursor back on the row with the remembered ID (the first row when that
// row is gone), also when the work in between failed.
class TCurrentRowKeeper {
public:
    explicit TCurrentRowKeeper(TMachineTable& table)
        : FTable(table), FRememberedID(table.currentRow() >= 0 ? table.at(table.currentRow()).ID : -1) {}
    ~TCurrentRowKeeper() {
        const int position = FRememberedID >= 0 ? FTable.indexOfID(FRememberedID) : -1;
        FTable.setCurrentRow(position >= 0 ? position : 0);
    }
    TCurrentRowKeeper(const TCurrentRowKeeper&) = delete;
    TCurrentRowKeeper& operator=(const TCurrentRowKeeper&) = delete;

private:
    TMachineTable& FTable;
    int FRememberedID;
};

}  // namespace

TInstallationController::TInstallationController(IAgentProcessManager& agents, TdmMain& dmMain,
                                                 TControllerOptions options, QObject* parent)
    : QObject(parent),
      FAgents(agents),
      FdmMain(dmMain),
      FOptions(options),
      FMeltrixVersion(VersionText()),
      FLinha(QStringLiteral("ID_FABRICANTE")),
      FModelo(QStringLiteral("ID_LINHA")) {
    const QPointer<TInstallationController> self(this);
    FdmMain.FProcRegisterLog2 = [self](const QString& serial, const QString& message, bool danger) {
        if (self) self->RegisterLog2(serial, message, danger);
    };
    FdmMain.FOnChangedStatus = [self](const TMaquina& machine) {
        if (self) self->AtualizarStatusMaquina(machine);
    };
    if (QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, [this] { FApplicationTerminating = true; });

    format_settings::SetDecimalSeparator(u',');
    format_settings::SetThousandSeparator(u'.');

    LoadSettingsAndMachines();
    AttachBrokerHandlers();

    FFirstConnection.setSingleShot(true);
    connect(&FFirstConnection, &QTimer::timeout, this, &TInstallationController::ConectarMQTT);
    FFirstConnection.start(Timing::get().firstBrokerConnection);
}

TInstallationController::~TInstallationController() {
    FFirstConnection.stop();
    tmrForceAlive.stop();
    FTimerLogCache.reset();
    FMQTT.disconnect(this);
    DesconectarMQTT();
    FdmMain.FProcRegisterLog2 = [](const QString&, const QString&, bool) {};
    FdmMain.FOnChangedStatus = [](const TMaquina&) {};
}

// Without its settings or its machine list the installation cannot run; the reason is
// logged before construction fails, so that a service start leaves a trace.
void TInstallationController::LoadSettingsAndMachines() {
    try {
        FSettings = std::make_unique<TSettings>();
        FServerConfig = FSettings->Load();
        fMachines = TMachines::initialise(FMaquinas);
        for (const QString& problem : fMachines->loadFromDisk())
            Log(QStringLiteral("[TFormPrincipal] Lista de máquinas: ") + problem, true);
    } catch (const std::exception& error) {
        Log(QStringLiteral("[TFormPrincipal] ") + QString::fromUtf8(error.what()), true);
        FdmMain.FProcRegisterLog2 = [](const QString&, const QString&, bool) {};
        FdmMain.FOnChangedStatus = [](const TMaquina&) {};
        throw;
    }
}

void TInstallationController::AttachBrokerHandlers() {
    connect(&FMQTT, &TMqttClient::connecting, this, &TInstallationController::MQTTConnecting);
    connect(&FMQTT, &TMqttClient::connected, this, &TInstallationController::MQTTConnected);
    connect(&FMQTT, &TMqttClient::disconnected, this, &TInstallationController::MQTTDisconnected);
    connect(&FMQTT, &TMqttClient::error, this, &TInstallationController::MQTTError);
    connect(&FMQTT, &TMqttClient::messageReceived, this, &TInstallationController::MQTTPublishReceived);
    connect(&tmrForceAlive, &QTimer::timeout, this, &TInstallationController::tmrForceAliveTimer);
}

// ---------------------------------------------------------------- service host

void TInstallationController::ServiceStart() { IniciarServicoWindows(); }

void TInstallationController::ServiceStop() {
    if (!OnOwnThread()) {
        QMetaObject::invokeMethod(this, &TInstallationController::ServiceStop, Qt::BlockingQueuedConnection);
        return;
    }
    PararServicoWindows();
    DesconectarMQTT();
}

void TInstallationController::IniciarServicoWindows() {
    Log(QStringLiteral("Servidor Iniciando com windows..."));
    Log(QStringLiteral("Servidor Iniciado com windows!"));
}

void TInstallationController::PararServicoWindows() { PararServicos(); }

// ---------------------------------------------------------------- agents

void TInstallationController::IniciarServicos() {
    Log(QStringLiteral("[TFormPrincipal.IniciarServicos] iniciando..."));
    ValidarMaquinas();
    LimparStatusMaquinas();
    Log(QStringLiteral("[TFormPrincipal.IniciarServicos] Qtde maquinas: ") + QString::number(FMaquinas.count()));
    try {
        FAgents.start(FMaquinas);
    } catch (const std::exception& error) {
        Log(QStringLiteral("[TFormPrincipal.IniciarServicos] ") + QString::fromUtf8(error.what()), true);
    }
    if (!FTimerLogCache)
        FTimerLogCache = std::make_unique<TTimerThread>(
            false, static_cast<int>(Timing::get().resumoCountersLog.count()), [this](TTimerThread&) { LogCache(); },
            false, [this](const QString& message, bool danger) { Log(message, danger); });
    Log(QStringLiteral("Servidor Iniciado"));
    Log(QStringLiteral("Quantidade de agents criados: ") + QString::number(FAgents.GetAgentsAmount()));
    FIniciado = true;
    emit agentsStartedChanged(true);
}

void TInstallationController::ValidarMaquinas() {
    auto fail = [this](const QString& message) {
        emit logBroughtToFront();
        throw MeltrixError(message);
    };
    for (int position = 0; position < FMaquinas.count() && !ApplicationTerminating(); ++position) {
        const TMachineRow& row = FMaquinas.at(position);
        const QString serial = text::Trim(row.Serial);
        const QString named = QStringLiteral("O Serial \"") + serial + u'"';
        if (serial.isEmpty()) fail(QStringLiteral("Existem máquinas sem um serial cadastrado!"));
        if (text::Trim(row.IDFabricante).isEmpty())
            fail(named + QStringLiteral(" não está com o Fabricante preenchido!"));
        if (text::Trim(row.IDLinha).isEmpty()) fail(named + QStringLiteral(" não está com a Linha preenchida!"));
        if (text::Trim(row.IDModelo).isEmpty()) fail(named + QStringLiteral(" não está com o Modelo preenchido!"));
    }
}

void TInstallationController::LimparStatusMaquinas() {
    if (ApplicationTerminating()) return;
    FMaquinas.clearStatuses();
    FMaquinas.setCurrentRow(0);
}

void TInstallationController::PararServicos() {
    FAgents.stop();
    FIniciado = false;
    Log(QStringLiteral("Servidor Parado"), true);
    emit agentsStartedChanged(false);
}

void TInstallationController::LogCache() {
    Log(QStringLiteral("[TFormPrincipal.LogCache] Resumos em memória: ") +
        QString::number(FAgents.GetAgentsAmountOfLotesInMemory()) + QStringLiteral(" Resumos em memóriaArray: ") +
        QString::number(FAgents.GetAgentsAmountOfLotesInMemoryArray()) + QStringLiteral(" Resumos em disco: ") +
        QString::number(FAgents.GetAgentsAmountOfLotesInDisk()));
}

// The table belongs to the main thread; an update from elsewhere is queued with its own
// copy of the record.
void TInstallationController::AtualizarStatusMaquina(const TMaquina& machine) {
    if (!OnOwnThread()) {
        QMetaObject::invokeMethod(this, [this, machine] { AtualizarStatusMaquina(machine); }, Qt::QueuedConnection);
        return;
    }
    const QString serial = QString(machine.Serial()).remove(QStringLiteral("\r\n"));
    std::lock_guard lock(FCriticalTab);
    const int position = FMaquinas.indexOfSerial(serial);
    if (position >= 0) FMaquinas.setStatus(position, machine.MqttStatus(), machine.TelnetStatus(), machine.Info());
}

// ---------------------------------------------------------------- log sink

// A line that cannot be written goes to the standard error stream instead: the sink is
// called from the event loop's dispatch, where an exception would end the process.
void TInstallationController::RegisterLog2(const QString& ASerial, const QString& AMsg, bool ADanger) {
    if (ApplicationTerminating()) return;
    const QString line = TLogFileWriter::StampedLine(AMsg);
    try {
        FLogWriter.Append(ASerial, line);
    } catch (const std::exception& error) {
        qWarning("[TFormPrincipal.RegisterLog2] %s | %s", error.what(), qUtf8Printable(line));
    }
    if (FOptions.ConfigurationMode && FOptions.LogTela)
        QMetaObject::invokeMethod(
            this, [this, ASerial, line, ADanger] { emit logLineShown(ASerial, line, ADanger); }, Qt::QueuedConnection);
}

void TInstallationController::Log(const QString& message, bool danger) { RegisterLog2(QString(), message, danger); }

bool TInstallationController::ApplicationTerminating() const {
    return FApplicationTerminating || QCoreApplication::closingDown();
}

bool TInstallationController::OnOwnThread() const { return QThread::currentThread() == thread(); }

// ---------------------------------------------------------------- broker connection

void TInstallationController::ConectarMQTT() {
    FFirstConnection.stop();
    client_name::Set(payloads::ClientName(app_paths::ComputerName()));
    const TBrokerSettings broker = FSettings->Broker();
    if (broker.Port < 1 || broker.Port > 65535) {
        Log(QStringLiteral("MQTTMQTTError: Porta inválida: ") + QString::number(broker.Port), true);
        return;
    }
    FDescription = FSettings->Description();
    TMqttConnectionSettings connection;
    connection.host = broker.Host;
    connection.port = static_cast<quint16>(broker.Port);
    connection.user = broker.User;
    connection.password = broker.Password;
    connection.useTls = broker.UseSsl;
    connection.keepAlive = BrokerKeepAlive;
    connection.clientIdPrefix = ControllerClientIdPrefix;
    connection.hasWill = true;
    connection.willTopic = topics::AgentPresence(FDescription);
    connection.willPayload = QString();
    connection.willRetain = true;
    Log(QStringLiteral("MQTT Conectando..."));
    FMQTT.Connect(connection);
}

// A clean disconnect makes the broker drop the last will, which would leave "ONLINE"
// retained for an installation that is gone; the will's message is published first.
void TInstallationController::DesconectarMQTT() {
    FFirstConnection.stop();
    if (FMQTT.IsConnected()) FMQTT.Publish(topics::AgentPresence(FDescription), QString(), TmqttQoS::AtMostOnce, true);
    FMQTT.Disconnect();
}

void TInstallationController::Reconectar() {
    DesconectarMQTT();
    ConectarMQTT();
}

void TInstallationController::MQTTConnecting() { Log(QStringLiteral("Conectando...")); }

void TInstallationController::MQTTError(const QString& text) { Log(QStringLiteral("MQTTMQTTError: ") + text, true); }

// An event queued by a connection that has been dropped since is ignored.
void TInstallationController::MQTTConnected() {
    if (!FMQTT.IsConnected()) return;
    Log(QStringLiteral("Conectado"));
    tmrForceAlive.start(Timing::get().forceAlive);
    for (const QString& topic : {topics::Fabricantes(), topics::Linhas(), topics::Modelos(),
                                 topics::IsLive(FDescription), topics::GetMachines(FDescription),
                                 topics::SetDescription(FDescription)})
        FMQTT.Subscribe(topic);
    emit cloudOnlineChanged(true);
    PublishPresence();
    if (!FOptions.ConfigurationMode) IniciarServicosFromConnection();
}

void TInstallationController::IniciarServicosFromConnection() {
    try {
        IniciarServicos();
    } catch (const std::exception& error) {
        Log(QString::fromUtf8(error.what()), true);
    }
}

void TInstallationController::MQTTDisconnected() {
    Log(QStringLiteral("Desconectado"), true);
    tmrForceAlive.stop();
    emit cloudOnlineChanged(false);
}

void TInstallationController::PublishPresence() {
    FMQTT.Publish(topics::AgentPresence(FDescription), Online, TmqttQoS::AtMostOnce, true);
    for (int position = 0; position < FMaquinas.count(); ++position) {
        const TMachineRow& row = FMaquinas.at(position);
        FMQTT.Publish(topics::AgentMachine(FDescription, row.Serial), row.Nome + QStringLiteral(", ") + row.Endereco,
                      TmqttQoS::AtMostOnce, true);
    }
}

void TInstallationController::PublishAlive() { FMQTT.Publish(topics::IsLiveResponse(FDescription), Alive); }

void TInstallationController::tmrForceAliveTimer() {
    try {
        if (FMQTT.IsConnected()) PublishAlive();
    } catch (const std::exception& error) {
        Log(QStringLiteral("[TFormPrincipal.tmrForceAliveTimer] Erro: ") + QString::fromUtf8(error.what()), true);
    }
}

QString TInstallationController::SolicitarNovoSerial(int MachineID) {
    if (!FMQTT.IsConnected()) return {};
    const QString key = payloads::SerialRequestId();
    FNewSerialWaitList.insert(key, MachineID);
    FMQTT.Subscribe(topics::SerialGerado(key));
    FMQTT.Publish(topics::GetSerial(), key);
    return key;
}

void TInstallationController::PublicarInfoMaquina() {
    const int position = FMaquinas.currentRow();
    if (position < 0) return;
    for (const TPublication& publication : payloads::MachineAnnouncement(FMaquinas.at(position).toMaquina()))
        FMQTT.Publish(publication.topic, publication.payload, TmqttQoS::AtMostOnce, publication.retain);
}

// ---------------------------------------------------------------- remote commands

void TInstallationController::MQTTPublishReceived(const QString& topic, const QString& payload) {
    try {
        if (topic == topics::SetDescription(FDescription)) {
            OnSetDescription(payload);
            return;
        }
        if (topic == topics::IsLive(FDescription)) {
            PublishAlive();
            return;
        }
        if (topic == topics::GetMachines(FDescription)) {
            PublishMachineReport();
            return;
        }
        if (topic.startsWith(topics::SerialGeradoPrefix())) OnSerialGerado(topic, payload);
        const QStringList parts = topic.split(u'/');
        if (parts.size() < 3 || parts[1] != u"IoT") return;
        for (const TCatalogo catalogo : {TCatalogo::Fabricante, TCatalogo::Linha, TCatalogo::Modelo}) {
            if (parts[2] == QLatin1String(LayoutOf(catalogo).topicLevel)) OnCatalogue(catalogo, topic, payload);
        }
    } catch (const std::exception& error) {
        Log(QStringLiteral("[TFormPrincipal.MQTTPublishReceived] ") + topic + QStringLiteral(" Erro: ") +
                QString::fromUtf8(error.what()),
            true);
    }
}

// The payload is trimmed: the settings file cannot hold a line break, and blanks around
// a name would become part of every topic.
void TInstallationController::OnSetDescription(const QString& payload) {
    const QString description = text::Trim(payload);
    CheckDescription(description);
    PararServicos();
    // Whatever happens to the settings, the agents run again afterwards.
    try {
        TServerConfig screen = FSettings->Load();
        screen.Description = description;
        FServerConfig = FSettings->Save(screen);
        emit descriptionChanged(description);
        Reconectar();
    } catch (const std::exception& error) {
        Log(QStringLiteral("[TFormPrincipal.SETDESCRIPTION] Erro: ") + QString::fromUtf8(error.what()), true);
    }
    IniciarServicos();
}

void TInstallationController::PublishMachineReport() {
    QString report;
    for (int position = 0; position < FMaquinas.count(); ++position) {
        const TMachineRow& row = FMaquinas.at(position);
        report += payloads::MachineReportLine(row.Serial, row.MqttStatus, row.TelnetStatus, row.Nome);
    }
    FMQTT.Publish(topics::GetMachinesResponse(FDescription), report);
}

void TInstallationController::OnSerialGerado(const QString& topic, const QString& payload) {
    FMQTT.Unsubscribe(topic);
    const QString key = topic.section(u'/', -1);
    const auto waiting = FNewSerialWaitList.constFind(key);
    if (waiting == FNewSerialWaitList.constEnd()) return;
    const int machineID = waiting.value();
    FNewSerialWaitList.erase(waiting);
    AssignSerial(machineID, payload);
}

void TInstallationController::AssignSerial(int machineID, const QString& serial) {
    const TCurrentRowKeeper keeper(FMaquinas);
    const int position = FMaquinas.indexOfID(machineID);
    if (position < 0) return;
    // A blank serial would keep every agent of the installation from starting.
    if (text::Trim(serial).isEmpty())
        throw MeltrixError(QStringLiteral("[TFormPrincipal.SERIALGERADO] Serial vazio recebido para a máquina ") +
                           FMaquinas.at(position).Nome);
    TMachineRow row = FMaquinas.at(position);
    row.Serial = serial;
    FMaquinas.update(position, row);
    fMachines->saveToDisk();
}

TCatalogueTable& TInstallationController::mtbCatalogo(TCatalogo catalogo) {
    switch (catalogo) {
        case TCatalogo::Fabricante: return FFabricante;
        case TCatalogo::Linha: return FLinha;
        case TCatalogo::Modelo: break;
    }
    return FModelo;
}

// A record with too few fields is left out and logged; the rest of the list still counts.
void TInstallationController::OnCatalogue(TCatalogo catalogo, const QString& topic, const QString& payload) {
    const TCatalogueLayout& layout = LayoutOf(catalogo);
    QList<TCatalogueEntry> entries;
    for (const QStringList& record : payloads::CatalogueRecords(payload)) {
        if (record.size() < layout.fieldCount) {
            Log(QStringLiteral("[TFormPrincipal.Catalogo] Registro incompleto ignorado em ") + topic +
                    QStringLiteral(": ") + record.join(u';'),
                true);
            continue;
        }
        entries.append({record[layout.idField], layout.parentField >= 0 ? record[layout.parentField] : QString(),
                         record[layout.nomeField]});
    }
    mtbCatalogo(catalogo).replaceAll(std::move(entries));
    RefreshCatalogueNames(catalogo);
}

void TInstallationController::RefreshCatalogueNames(TCatalogo catalogo) {
    const TCatalogueLayout& layout = LayoutOf(catalogo);
    const TCatalogueTable& table = mtbCatalogo(catalogo);
    for (int position = 0; position < FMaquinas.count() && !ApplicationTerminating(); ++position) {
        TMachineRow row = FMaquinas.at(position);
        const std::optional<QString> nome = table.NomeOf(row.*layout.rowId);
        if (!nome || *nome == row.*layout.rowName) continue;
        row.*layout.rowName = *nome;
        FMaquinas.update(position, row);
    }
    FMaquinas.setCurrentRow(0);
}

// ---------------------------------------------------------------- settings and closing

TServerConfig TInstallationController::SalvarConfig(const TServerConfig& screen) {
    FServerConfig = FSettings->Save(screen);
    return FServerConfig;
}

void TInstallationController::Fechar() {
    FAgents.stop();
    Log(QStringLiteral("[TFormPrincipal.FormCloseQuery] Desligando timer thread"));
    FTimerLogCache.reset();
    DesconectarMQTT();
}
