#include "host/installation_controller.h"

#include "host/dm_main.h"
#include "messaging/client_name.h"
#include "messaging/payloads.h"
#include "settings/machines.h"
#include "settings/maquina.h"
#include "support/event_loop.h"
#include "support/mqtt_observer.h"
#include "support/mqtt_test_fixture.h"
#include "support/qt_printers.h"
#include "support/recording_agent_process_manager.h"
#include "support/tcp_relay.h"
#include "util/app_paths.h"
#include "util/clock.h"
#include "util/error.h"
#include "util/format_settings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
using Message = QPair<QString, QString>;

// Table order is by name: Lathe (SN1), then Mill (SN2).
const QString TwoMachines = QStringLiteral(
    "SN2:10.0.0.6:7000:BrelkProtocol:Mill:F2:L2:M2:False|SN1:10.0.0.5:7878:MTConnect:Lathe:F1:L1:M1:False|\r\n");

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString LogOf(const QString& serial) {
    return ReadText(QDir(app_paths::LogsFolder()).filePath(TLogFileWriter::FileName(serial, Clock::now().date())));
}

// The log holds the message as one whole line, after its time stamp.
bool HasLine(const QString& log, const QString& message) {
    const QRegularExpression line("^\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d " + QRegularExpression::escape(message) + "\r$",
                                  QRegularExpression::MultilineOption);
    return line.match(log).hasMatch();
}

QList<Message> PayloadsOn(const MqttObserver& observer, const QString& topicStart) {
    QList<Message> found;
    for (const MqttObserver::Message& message : observer.messages())
        if (message.topic.startsWith(topicStart)) found.append({message.topic, message.payload});
    return found;
}

QStringList PayloadTexts(const QList<MqttObserver::Message>& messages) {
    QStringList texts;
    for (const MqttObserver::Message& message : messages) texts << message.payload;
    return texts;
}

TMaquina MachineStatus(const QString& serial, const QString& mqtt, const QString& telnet, const QString& info) {
    TMaquina machine;
    machine.setSerial(serial);
    machine.setMqttStatus(mqtt);
    machine.setTelnetStatus(telnet);
    machine.setInfo(info);
    return machine;
}

// The installation's files in the private base folder, written afresh for every test; the
// broker settings point at a local test broker.
class ControllerFixture : public MqttTimingTest {
protected:
    void SetUp() override {
        MqttTimingTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(app_paths::BaseFolder()));
        RemoveInstallationFiles();
        WriteMachineList(TwoMachines);
    }

    void TearDown() override {
        controller.reset();
        TMachines::resetInstance();
        Clock::reset();
        RemoveInstallationFiles();
        MqttTimingTest::TearDown();
    }

    static void SetFirstConnection(std::chrono::milliseconds delay) {
        TimingConstants timing = Timing::get();
        timing.firstBrokerConnection = delay;
        Timing::set(timing);
    }

    static void RemoveInstallationFiles() {
        QFile::remove(app_paths::SettingsFile());
        QFile::remove(app_paths::ListFile());
        QDir(app_paths::LogsFolder()).removeRecursively();
    }

    static void WriteSettings(quint16 port, const QString& description = QStringLiteral("INST1")) {
        TServerConfig local;
        local.Padrao = false;
        local.Host = QStringLiteral("127.0.0.1");
        local.Port = QString::number(port);
        local.Description = description;
        TSettings(app_paths::SettingsFile()).Save(local);
    }

    static void WriteMachineList(const QString& text) {
        QFile file(app_paths::ListFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    TInstallationController& Create(TControllerOptions options = {.ConfigurationMode = true}) {
        controller = std::make_unique<TInstallationController>(agents, dmMain, options);
        return *controller;
    }

    const TMachineRow& Row(const QString& serial) {
        return controller->mtbMaquinas().at(controller->mtbMaquinas().indexOfSerial(serial));
    }

    RecordingAgentProcessManager agents;
    TdmMain dmMain;
    std::unique_ptr<TInstallationController> controller;
};

// No broker: the first connection is far away, so nothing connects.
class OfflineControllerTest : public ControllerFixture {
protected:
    void SetUp() override {
        ControllerFixture::SetUp();
        SetFirstConnection(1h);
        WriteSettings(1);
    }
};

class OnlineControllerTest : public ControllerFixture {
protected:
    void SetUp() override {
        ControllerFixture::SetUp();
        SetFirstConnection(10ms);
        ASSERT_TRUE(brokerStarted) << broker.log().toStdString();
        WriteSettings(broker.port());
        ASSERT_TRUE(observer.waitUntilSubscribed());
    }

    // The announcement comes after the subscriptions on the same connection: once it is
    // seen, the controller hears its commands.
    TInstallationController& CreateConnected(TControllerOptions options = {.ConfigurationMode = true},
                                             const QString& description = QStringLiteral("INST1")) {
        const int announcementsBefore = static_cast<int>(observer.messagesOn("iot/agents/" + description).size());
        Create(options);
        EXPECT_TRUE(SpinUntil(
            [&] { return observer.messagesOn("iot/agents/" + description).size() > announcementsBefore; }));
        return *controller;
    }

    // Everything published before it has been handled once the answer is back.
    void WaitUntilHandled(const QString& description = QStringLiteral("INST1")) {
        const QString response = "/IoT/" + description + "/ISLIVE/RESPONSE";
        const qsizetype answersBefore = observer.messagesOn(response).size();
        ASSERT_TRUE(observer.publish("/IoT/" + description + "/ISLIVE", "marker"));
        ASSERT_TRUE(SpinUntil([&] { return observer.messagesOn(response).size() > answersBefore; }));
    }

    // Started before the observer is made, which connects at once.
    MosquittoBroker broker;
    const bool brokerStarted = broker.start();
    MqttObserver observer{broker};
};

// ------------------------------------------------------------------ broker connection

TEST_F(OnlineControllerTest, ServiceModeAnnouncesStartsTheAgentsAtEveryConnectionAndLeavesAnEmptyWillWhenCut) {
    TcpRelay relay(broker.port());
    WriteSettings(relay.port());
    CreateConnected({.ConfigurationMode = false});
    ASSERT_TRUE(SpinUntil([&] { return observer.messagesOn("iot/agents/INST1/SN2").size() == 1; }));
    ASSERT_TRUE(SpinUntil([&] { return agents.calls.size() == 1; }));

    EXPECT_EQ(PayloadsOn(observer, "iot/agents/"),
              QList<Message>({{"iot/agents/INST1", "ONLINE"},
                              {"iot/agents/INST1/SN1", "Lathe, 10.0.0.5"},
                              {"iot/agents/INST1/SN2", "Mill, 10.0.0.6"}}));
    EXPECT_EQ(agents.calls, QStringList({"start:SN1,SN2"}));
    EXPECT_TRUE(controller->Iniciado());
    EXPECT_TRUE(controller->Conectado());
    EXPECT_EQ(client_name::Current(), payloads::ClientName(app_paths::ComputerName()));

    relay.dropConnections();
    ASSERT_TRUE(SpinUntil([&] { return observer.messagesOn("iot/agents/INST1").size() == 3; }));
    EXPECT_EQ(PayloadTexts(observer.messagesOn("iot/agents/INST1")), QStringList({"ONLINE", "", "ONLINE"}));
    ASSERT_TRUE(SpinUntil([&] { return agents.calls.size() == 2; }));
    EXPECT_EQ(agents.calls, QStringList({"start:SN1,SN2", "start:SN1,SN2"}));

    MqttObserver late(broker, "iot/agents/#");
    ASSERT_TRUE(late.waitForMessageOn("iot/agents/INST1/SN2"));
    ASSERT_TRUE(late.waitForMessageOn("iot/agents/INST1"));
    EXPECT_EQ(late.messagesOn("iot/agents/INST1").at(0).payload, "ONLINE");
    EXPECT_TRUE(late.messagesOn("iot/agents/INST1").at(0).retained);
    EXPECT_TRUE(late.messagesOn("iot/agents/INST1/SN2").at(0).retained);

    const QString log = LogOf("");
    for (const QString line : {"MQTT Conectando...", "Conectando...", "Conectado", "Desconectado", "Servidor Iniciado",
                               "Quantidade de agents criados: 2"})
        EXPECT_TRUE(HasLine(log, line)) << line.toStdString();
}

TEST_F(OnlineControllerTest, ConfigurationModeStartsOnlyWhenAskedAndServiceStopClearsThePresence) {
    bool cloudOnline = false;
    Create();
    QObject::connect(controller.get(), &TInstallationController::cloudOnlineChanged,
                     [&](bool online) { cloudOnline = online; });
    ASSERT_TRUE(SpinUntil([&] { return observer.messagesOn("iot/agents/INST1/SN2").size() == 1; }));
    EXPECT_TRUE(cloudOnline);
    WaitUntilHandled();
    EXPECT_TRUE(agents.calls.isEmpty());

    controller->IniciarServicos();
    controller->ServiceStop();
    EXPECT_EQ(agents.calls, QStringList({"start:SN1,SN2", "stop"}));
    EXPECT_FALSE(controller->Iniciado());
    EXPECT_FALSE(controller->Conectado());
    ASSERT_TRUE(SpinUntil([&] { return observer.messagesOn("iot/agents/INST1").size() == 2; }));
    EXPECT_EQ(observer.messagesOn("iot/agents/INST1").at(1).payload, "");
    ASSERT_TRUE(SpinUntil([&] { return !cloudOnline; }));

    // The presence is gone for a newcomer; its own marker comes after anything retained.
    MqttObserver late(broker, "iot/agents/#");
    ASSERT_TRUE(late.waitUntilSubscribed());
    ASSERT_TRUE(late.publish("iot/agents/marker", "m"));
    ASSERT_TRUE(late.waitForMessageOn("iot/agents/marker"));
    EXPECT_TRUE(late.messagesOn("iot/agents/INST1").isEmpty());
    EXPECT_TRUE(HasLine(LogOf(""), "Servidor Parado"));
}

TEST_F(OnlineControllerTest, AnswersIsLiveAndSaysAliveUnaskedOnlyWhileConnected) {
    CreateConnected();
    WaitUntilHandled();
    SpinFor(200);
    EXPECT_EQ(PayloadTexts(observer.messagesOn("/IoT/INST1/ISLIVE/RESPONSE")), QStringList({"Alive!"}));

    TimingConstants timing = Timing::get();
    timing.forceAlive = 50ms;
    Timing::set(timing);
    controller->Reconectar();
    ASSERT_TRUE(SpinUntil([&] { return observer.messagesOn("/IoT/INST1/ISLIVE/RESPONSE").size() >= 4; }));
    for (const QString& payload : PayloadTexts(observer.messagesOn("/IoT/INST1/ISLIVE/RESPONSE")))
        EXPECT_EQ(payload, "Alive!");

    controller->DesconectarMQTT();
    SpinFor(100);
    const qsizetype afterDisconnect = observer.messagesOn("/IoT/INST1/ISLIVE/RESPONSE").size();
    SpinFor(200);
    EXPECT_EQ(observer.messagesOn("/IoT/INST1/ISLIVE/RESPONSE").size(), afterDisconnect);
}

TEST_F(OnlineControllerTest, GetMachinesReportsEveryRowInTableOrder) {
    const struct {
        QString list;
        QString report;
    } cases[] = {
        {TwoMachines,
         "SN1 - StatusMQTT: Conectado - StatusTelnet: Online - Machine: Lathe\r\n"
         "SN2 - StatusMQTT:  - StatusTelnet:  - Machine: Mill\r\n"},
        {"", ""},
    };
    const QString response = "/IoT/INST1/GETMACHINES/RESPONSE";
    for (const auto& testCase : cases) {
        WriteMachineList(testCase.list);
        CreateConnected();
        controller->AtualizarStatusMaquina(MachineStatus("SN1", "Conectado", "Online", "ok"));
        const qsizetype answersBefore = observer.messagesOn(response).size();
        ASSERT_TRUE(observer.publish("/IoT/INST1/GETMACHINES", "?"));
        ASSERT_TRUE(SpinUntil([&] { return observer.messagesOn(response).size() > answersBefore; }));
        EXPECT_EQ(observer.messagesOn(response).last().payload, testCase.report);
        controller.reset();
    }
}

TEST_F(OnlineControllerTest, SetDescriptionStopsSavesTheTrimmedNameAndStartsAgainUnderIt) {
    CreateConnected();
    QString announced;
    QObject::connect(controller.get(), &TInstallationController::descriptionChanged,
                     [&](const QString& description) { announced = description; });

    ASSERT_TRUE(observer.publish("/IoT/INST1/SETDESCRIPTION", "  NEWDESC \r\n"));
    ASSERT_TRUE(observer.waitForMessageOn("iot/agents/NEWDESC"));

    EXPECT_EQ(agents.calls, QStringList({"stop", "start:SN1,SN2"}));
    EXPECT_TRUE(controller->Iniciado());
    EXPECT_EQ(TSettings(app_paths::SettingsFile()).Description(), "NEWDESC");
    EXPECT_EQ(controller->ServerConfig().Description, "NEWDESC");
    EXPECT_EQ(announced, "NEWDESC");
    EXPECT_EQ(PayloadTexts(observer.messagesOn("iot/agents/INST1")), QStringList({"ONLINE", ""}));
    EXPECT_EQ(TSettings(app_paths::SettingsFile()).Broker().Port, broker.port());

    WaitUntilHandled("NEWDESC");
    ASSERT_TRUE(observer.publish("/IoT/INST1/ISLIVE", "old name"));
    WaitUntilHandled("NEWDESC");
    EXPECT_TRUE(observer.messagesOn("/IoT/INST1/ISLIVE/RESPONSE").isEmpty());
}

TEST_F(OnlineControllerTest, SetDescriptionRefusesNamesThatCannotNameTopics) {
    CreateConnected();
    for (const QString payload : {"", " \r\n", "a+b", "site#1"}) {
        ASSERT_TRUE(observer.publish("/IoT/INST1/SETDESCRIPTION", payload));
        WaitUntilHandled();
    }
    EXPECT_TRUE(agents.calls.isEmpty());
    EXPECT_EQ(TSettings(app_paths::SettingsFile()).Description(), "INST1");
    EXPECT_EQ(LogOf("").count("[TFormPrincipal.SETDESCRIPTION]"), 4);
}

TEST_F(OnlineControllerTest, ANewSerialGoesToTheWaitingMachineAndTheListIsSaved) {
    CreateConnected();
    TMachineTable& table = controller->mtbMaquinas();
    TMachineRow drill = TMachineRow::NewMachine();
    drill.ID = TMachines::instance()->GetNextID();
    drill.Nome = "Drill";
    table.append(drill);
    table.setCurrentRow(table.indexOfSerial("SN2"));

    const QString key = controller->SolicitarNovoSerial(drill.ID);
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{32}$").match(key).hasMatch()) << key.toStdString();
    EXPECT_EQ(controller->NewSerialWaitList(), (QHash<QString, int>{{key, drill.ID}}));
    ASSERT_TRUE(observer.waitForMessageOn("/IoT/GETSERIAL"));
    EXPECT_EQ(observer.messagesOn("/IoT/GETSERIAL").at(0).payload, key);

    ASSERT_TRUE(observer.publish("/IoT/SERIALGERADO/" + key, " ab12cd "));
    ASSERT_TRUE(SpinUntil([&] { return controller->NewSerialWaitList().isEmpty(); }));
    EXPECT_EQ(table.at(table.indexOfID(drill.ID)).Serial, "AB12CD");
    EXPECT_EQ(table.currentRow(), table.indexOfSerial("SN2"));
    EXPECT_TRUE(ReadText(app_paths::ListFile()).startsWith("AB12CD:127.0.0.1:7878:MTConnect:Drill::::False|SN1:"));

    // The answer's topic was left: a second answer is not heard.
    ASSERT_TRUE(observer.publish("/IoT/SERIALGERADO/" + key, "OTHER"));
    WaitUntilHandled();
    EXPECT_EQ(table.at(table.indexOfID(drill.ID)).Serial, "AB12CD");
}

TEST_F(OnlineControllerTest, ABlankSerialAnswerIsRefusedAndTheMachineKeepsWaitingForNone) {
    CreateConnected();
    TMachineTable& table = controller->mtbMaquinas();
    TMachineRow drill = TMachineRow::NewMachine();
    drill.ID = TMachines::instance()->GetNextID();
    drill.Nome = "Drill";
    table.append(drill);
    const QString listBefore = ReadText(app_paths::ListFile());

    const QString key = controller->SolicitarNovoSerial(drill.ID);
    ASSERT_TRUE(observer.waitForMessageOn("/IoT/GETSERIAL"));  // sent after the answer's subscription
    ASSERT_TRUE(observer.publish("/IoT/SERIALGERADO/" + key, " \r\n"));
    ASSERT_TRUE(SpinUntil([&] { return controller->NewSerialWaitList().isEmpty(); }));
    EXPECT_EQ(table.at(table.indexOfID(drill.ID)).Serial, "");
    EXPECT_EQ(ReadText(app_paths::ListFile()), listBefore);
    EXPECT_TRUE(LogOf("").contains("Serial vazio recebido para a máquina Drill"));
}

TEST_F(OnlineControllerTest, CatalogueListsFillTheTablesAndNameTheMachines) {
    CreateConnected();
    controller->mtbMaquinas().setCurrentRow(1);

    ASSERT_TRUE(observer.publish("/IoT/FABRICANTES", "F1;Fanuc|F2;Mazak"));
    ASSERT_TRUE(observer.publish("/IoT/FABRICANTES", "f1;Fanuc Corp|F9;Okuma|broken|"));
    ASSERT_TRUE(observer.publish("/IoT/LINHAS", "F1;L1;Linha Um|F2;L2;Linha Dois"));
    ASSERT_TRUE(observer.publish("/IoT/MODELOS", "0;L1;M1;Modelo Um"));
    WaitUntilHandled();

    const TCatalogueTable& fabricantes = controller->mtbFabricante();
    ASSERT_EQ(fabricantes.count(), 2);
    EXPECT_EQ(fabricantes.at(0), (TCatalogueEntry{"f1", "", "Fanuc Corp"}));
    EXPECT_EQ(fabricantes.at(1), (TCatalogueEntry{"F9", "", "Okuma"}));
    EXPECT_EQ(controller->mtbLinha().count(), 2);
    EXPECT_EQ(controller->mtbLinha().at(1), (TCatalogueEntry{"L2", "F2", "Linha Dois"}));
    ASSERT_EQ(controller->mtbModelo().count(), 1);
    EXPECT_EQ(controller->mtbModelo().at(0), (TCatalogueEntry{"M1", "L1", "Modelo Um"}));

    // SN2's manufacturer is no longer listed: it keeps the name it had.
    EXPECT_EQ(Row("SN1").Fabricante, "Fanuc Corp");
    EXPECT_EQ(Row("SN2").Fabricante, "Mazak");
    EXPECT_EQ(Row("SN1").Linha, "Linha Um");
    EXPECT_EQ(Row("SN2").Linha, "Linha Dois");
    EXPECT_EQ(Row("SN1").Modelo, "Modelo Um");
    EXPECT_EQ(Row("SN2").Modelo, "");
    EXPECT_EQ(controller->mtbMaquinas().currentRow(), 0);
    EXPECT_TRUE(LogOf("").contains("Registro incompleto ignorado em /IoT/FABRICANTES: broken"));
}

TEST_F(OnlineControllerTest, PublicarInfoMaquinaAnnouncesTheCurrentMachine) {
    CreateConnected();
    controller->mtbMaquinas().setCurrentRow(controller->mtbMaquinas().indexOfSerial("SN1"));
    controller->PublicarInfoMaquina();
    ASSERT_TRUE(observer.waitForMessageOn("/IoT/SRV/UPDATE"));

    const QList<Message> published = PayloadsOn(observer, "/IoT/S");
    ASSERT_EQ(published.size(), 6);
    EXPECT_EQ(published[0], Message("/IoT/SN1/VERSAO", payloads::Versao()));
    EXPECT_EQ(published[1], Message("/IoT/SN1/FABRICANTE", "F1"));
    EXPECT_EQ(published[2], Message("/IoT/SN1/LINHA", "L1"));
    EXPECT_EQ(published[3], Message("/IoT/SN1/MODELO", "M1"));
    EXPECT_EQ(published[4].first, "/IoT/SN1/INFOv2");
    EXPECT_TRUE(published[4].second.startsWith("Lathe|MTConnect;10.0.0.5;7878|"));
    EXPECT_EQ(published[5], Message("/IoT/SRV/UPDATE", "info|SN1"));
}

TEST_F(OnlineControllerTest, ServiceModeLogsAStartRefusedForAnIncompleteMachine) {
    WriteMachineList("SN1:10.0.0.5:7878:MTConnect:Lathe::L1:M1:False|\r\n");
    CreateConnected({.ConfigurationMode = false});
    ASSERT_TRUE(SpinUntil([] { return LogOf("").contains("não está com o Fabricante preenchido!"); }));
    EXPECT_TRUE(HasLine(LogOf(""), "O Serial \"SN1\" não está com o Fabricante preenchido!"));
    EXPECT_TRUE(agents.calls.isEmpty());
    EXPECT_FALSE(controller->Iniciado());
}

// ------------------------------------------------------------------ agents

TEST_F(OfflineControllerTest, IniciarServicosRefusesTheFirstIncompleteMachine) {
    const struct {
        QString list;
        QString message;
    } cases[] = {
        {":10.0.0.5:7878:MTConnect:Lathe:F1:L1:M1:False|", "Existem máquinas sem um serial cadastrado!"},
        {"SN1:10.0.0.5:7878:MTConnect:Lathe: :L1:M1:False|",
         "O Serial \"SN1\" não está com o Fabricante preenchido!"},
        {"SN1:10.0.0.5:7878:MTConnect:Lathe:F1::M1:False|", "O Serial \"SN1\" não está com a Linha preenchida!"},
        {"SN1:10.0.0.5:7878:MTConnect:Lathe:F1:L1:\t:False|", "O Serial \"SN1\" não está com o Modelo preenchido!"},
        {"SN2:10.0.0.6:7000:MTConnect:Mill:::M2:False|SN1:10.0.0.5:7878:MTConnect:Lathe:F1::M1:False|",
         "O Serial \"SN1\" não está com a Linha preenchida!"},
    };
    for (const auto& testCase : cases) {
        WriteMachineList(testCase.list);
        Create();
        int broughtToFront = 0;
        QObject::connect(controller.get(), &TInstallationController::logBroughtToFront, [&] { ++broughtToFront; });
        try {
            controller->IniciarServicos();
            ADD_FAILURE() << "started with " << testCase.list.toStdString();
        } catch (const MeltrixError& error) {
            EXPECT_EQ(error.message(), testCase.message);
        }
        EXPECT_EQ(broughtToFront, 1);
        EXPECT_FALSE(controller->Iniciado());
        EXPECT_TRUE(agents.calls.isEmpty());
        controller.reset();
    }
}

TEST_F(OfflineControllerTest, IniciarServicosClearsStatusesStartsEveryRowAndPararServicosStops) {
    Create();
    QList<bool> startedSignals;
    QObject::connect(controller.get(), &TInstallationController::agentsStartedChanged,
                     [&](bool started) { startedSignals << started; });
    controller->AtualizarStatusMaquina(MachineStatus("SN2", "Conectado", "Online", "info"));
    controller->mtbMaquinas().setCurrentRow(1);

    controller->IniciarServicos();
    EXPECT_EQ(agents.calls, QStringList({"start:SN1,SN2"}));
    EXPECT_TRUE(controller->Iniciado());
    EXPECT_FALSE(controller->CanClose());
    EXPECT_EQ(Row("SN2").MqttStatus, "");
    EXPECT_EQ(Row("SN2").TelnetStatus, "");
    EXPECT_EQ(Row("SN2").Info, "");
    EXPECT_EQ(controller->mtbMaquinas().currentRow(), 0);
    EXPECT_TRUE(HasLine(LogOf(""), "[TFormPrincipal.IniciarServicos] iniciando..."));
    EXPECT_TRUE(HasLine(LogOf(""), "[TFormPrincipal.IniciarServicos] Qtde maquinas: 2"));
    EXPECT_TRUE(HasLine(LogOf(""), "Servidor Iniciado"));
    EXPECT_TRUE(HasLine(LogOf(""), "Quantidade de agents criados: 2"));

    controller->PararServicos();
    EXPECT_EQ(agents.calls, QStringList({"start:SN1,SN2", "stop"}));
    EXPECT_FALSE(controller->Iniciado());
    EXPECT_TRUE(controller->CanClose());
    EXPECT_TRUE(HasLine(LogOf(""), "Servidor Parado"));
    EXPECT_EQ(startedSignals, QList<bool>({true, false}));
}

TEST_F(OfflineControllerTest, AFailingProcessManagerIsLoggedAndTheAgentsCountAsStarted) {
    agents.startFailure = "[TAgentProcessManager.start] Trace: 3.1 Maquina Serial: 'SN2' Error Message boom";
    Create();
    controller->IniciarServicos();
    EXPECT_TRUE(controller->Iniciado());
    EXPECT_TRUE(LogOf("").contains(
        " [TFormPrincipal.IniciarServicos] [TAgentProcessManager.start] Trace: 3.1 Maquina Serial: 'SN2' "
        "Error Message boom\r\n"));
}

TEST_F(OfflineControllerTest, LogCacheWritesTheSummedCountersAndRunsByItselfOnceStarted) {
    TimingConstants timing = Timing::get();
    timing.resumoCountersLog = 30ms;
    Timing::set(timing);
    agents.lotesInMemory = 3;
    agents.lotesInMemoryArray = 7;
    agents.lotesInDisk = 2;
    const QString line =
        " [TFormPrincipal.LogCache] Resumos em memória: 3 Resumos em memóriaArray: 7 Resumos em disco: 2\r\n";
    Create();
    SpinFor(100);
    EXPECT_FALSE(LogOf("").contains(line));

    controller->IniciarServicos();
    ASSERT_TRUE(SpinUntil([&] { return LogOf("").count(line) >= 2; }));

    controller->Fechar();
    EXPECT_EQ(agents.calls.last(), "stop");
    EXPECT_TRUE(HasLine(LogOf(""), "[TFormPrincipal.FormCloseQuery] Desligando timer thread"));
    SpinFor(50);
    const qsizetype afterClose = LogOf("").count(line);
    SpinFor(150);
    EXPECT_EQ(LogOf("").count(line), afterClose);
}

TEST_F(OfflineControllerTest, AtualizarStatusMaquinaCopiesTheStatusIntoTheMachinesRow) {
    Create();
    TMachineTable& table = controller->mtbMaquinas();
    table.setCurrentRow(1);

    controller->AtualizarStatusMaquina(MachineStatus("SN1\r\n", "Conectado", "Online", "Torno ligado"));
    EXPECT_EQ(Row("SN1").MqttStatus, "Conectado");
    EXPECT_EQ(Row("SN1").TelnetStatus, "Online");
    EXPECT_EQ(Row("SN1").Info, "Torno ligado");
    EXPECT_EQ(Row("SN1").MaquinaStatus(), "Online");
    EXPECT_EQ(table.currentRow(), 1);

    const TMachineRow sn2 = Row("SN2");
    controller->AtualizarStatusMaquina(MachineStatus("UNKNOWN", "x", "y", "z"));
    EXPECT_EQ(Row("SN2"), sn2);

    // Through the main data module's sink, from an agent's thread: applied on the main thread.
    std::thread agentThread([&] { dmMain.FOnChangedStatus(MachineStatus("SN2", "Offline", "", "")); });
    agentThread.join();
    EXPECT_EQ(Row("SN2").MqttStatus, "");
    ASSERT_TRUE(SpinUntil([&] { return Row("SN2").MqttStatus == "Offline"; }));
}

TEST_F(OfflineControllerTest, TheServiceHostsStopRequestFromItsOwnThreadRunsOnTheMainThread) {
    Create({.ConfigurationMode = false});
    controller->ServiceStart();
    EXPECT_TRUE(HasLine(LogOf(""), "Servidor Iniciando com windows..."));
    EXPECT_TRUE(HasLine(LogOf(""), "Servidor Iniciado com windows!"));
    EXPECT_TRUE(agents.calls.isEmpty());

    controller->IniciarServicos();
    std::atomic<bool> stopped{false};
    QThread* stoppedOn = nullptr;
    QObject::connect(controller.get(), &TInstallationController::agentsStartedChanged,
                     [&](bool) { stoppedOn = QThread::currentThread(); });
    std::thread serviceThread([&] {
        controller->ServiceStop();
        stopped = true;
    });
    ASSERT_TRUE(SpinUntil([&] { return stopped.load(); }));
    serviceThread.join();
    EXPECT_EQ(agents.calls, QStringList({"start:SN1,SN2", "stop"}));
    EXPECT_FALSE(controller->Iniciado());
    EXPECT_EQ(stoppedOn, qApp->thread());
}

// ------------------------------------------------------------------ log sink

TEST_F(OfflineControllerTest, RegisterLog2WritesEachSerialsDailyFileFromAnyThread) {
    Create();
    Clock::setNow(QDateTime(QDate(2024, 6, 24), QTime(10, 0, 0)));
    controller->RegisterLog2("", "principal", false);
    controller->RegisterLog2("SOCKET", "socket | Máquina: Lathe | Porta: 7878", true);
    std::thread worker([&] { dmMain.FProcRegisterLog2("SN1", "da máquina", false); });
    worker.join();
    EXPECT_NO_THROW(controller->RegisterLog2("a/b", "serial impossível", true));

    EXPECT_TRUE(LogOf("").endsWith("24/06 10:00:00 principal\r\n"));
    EXPECT_EQ(ReadText(QDir(app_paths::LogsFolder()).filePath("SOCKET_24062024.log")),
              QString::fromUtf8("24/06 10:00:00 socket | Máquina: Lathe | Porta: 7878\r\n"));
    EXPECT_EQ(ReadText(QDir(app_paths::LogsFolder()).filePath("SN1_24062024.log")),
              QString::fromUtf8("24/06 10:00:00 da máquina\r\n"));
}

TEST_F(OfflineControllerTest, LinesAreShownOnlyInConfigurationModeWithLogTela) {
    const struct {
        TControllerOptions options;
        bool shown;
    } cases[] = {
        {{.ConfigurationMode = true, .LogTela = true}, true},
        {{.ConfigurationMode = true, .LogTela = false}, false},
        {{.ConfigurationMode = false, .LogTela = true}, false},
    };
    for (const auto& testCase : cases) {
        Create(testCase.options);
        QStringList shown;
        bool onMainThread = true;
        QObject::connect(controller.get(), &TInstallationController::logLineShown,
                         [&](const QString& serial, const QString& line, bool danger) {
                             shown << serial + u'|' + line + u'|' + (danger ? u'1' : u'0');
                             onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
                         });
        Clock::setNow(QDateTime(QDate(2024, 6, 24), QTime(10, 0, 0)));
        std::thread worker([&] { controller->RegisterLog2("SN1", "falhou", true); });
        worker.join();
        SpinFor(50);
        EXPECT_EQ(shown, testCase.shown ? QStringList({"SN1|24/06 10:00:00 falhou|1"}) : QStringList());
        EXPECT_TRUE(onMainThread);
        EXPECT_EQ(ReadText(QDir(app_paths::LogsFolder()).filePath("SN1_24062024.log")).count("falhou"), 1);
        QDir(app_paths::LogsFolder()).removeRecursively();
        Clock::reset();
        controller.reset();
    }
}

// ------------------------------------------------------------------ construction

TEST_F(OfflineControllerTest, ConstructionFixesTheFormatsLoadsTheFilesAndOwnsTheSinksUntilDestroyed) {
    format_settings::SetDecimalSeparator(u'.');
    format_settings::SetThousandSeparator(u',');
    Create();
    EXPECT_EQ(format_settings::DecimalSeparator(), u',');
    EXPECT_EQ(format_settings::ThousandSeparator(), u'.');
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+\\.\\d+$").match(controller->MeltrixVersion()).hasMatch());
    EXPECT_EQ(controller->ServerConfig().Description, "INST1");
    EXPECT_FALSE(controller->ServerConfig().Padrao);
    ASSERT_EQ(controller->mtbMaquinas().count(), 2);
    EXPECT_EQ(controller->mtbMaquinas().at(0).Serial, "SN1");
    EXPECT_EQ(controller->SolicitarNovoSerial(0), "");
    EXPECT_TRUE(controller->NewSerialWaitList().isEmpty());

    dmMain.FProcRegisterLog2("SN1", "pela ponte", false);
    EXPECT_TRUE(HasLine(LogOf("SN1"), "pela ponte"));

    controller.reset();
    dmMain.FProcRegisterLog2("SN1", "depois", false);
    dmMain.FOnChangedStatus(MachineStatus("SN1", "x", "y", "z"));
    EXPECT_FALSE(LogOf("SN1").contains("depois"));
}

TEST_F(OfflineControllerTest, DamagedListRecordsAreLoggedAndAnUnreadableListStopsConstruction) {
    WriteMachineList("SN1:10.0.0.5:abc:MTConnect:Lathe:F1:L1:M1:False|x|\r\n");
    Create();
    EXPECT_EQ(controller->mtbMaquinas().count(), 1);
    EXPECT_TRUE(LogOf("").contains("[TFormPrincipal] Lista de máquinas: [TMachines.loadFromDisk] Record 1"));
    controller.reset();

    QFile::remove(app_paths::ListFile());
    ASSERT_TRUE(QDir().mkpath(app_paths::ListFile()));
    EXPECT_THROW(Create(), MeltrixError);
    EXPECT_TRUE(LogOf("").contains("[TFormPrincipal] "));
    QDir(app_paths::ListFile()).removeRecursively();
    dmMain.FProcRegisterLog2("", "sem controlador", false);
    EXPECT_FALSE(LogOf("").contains("sem controlador"));
}

}  // namespace
