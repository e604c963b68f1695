// The real meltrix executable, started as a child process on a private base folder, against
// a private mosquitto broker and machines on loopback. It runs with its production
// intervals, so the tests drive it where they can (answering LAST_VALUES, waiting for the
// rules' heartbeat) and otherwise wait with generous deadlines.
#include "support/data_process_fixture.h"
#include "support/event_loop.h"
#include "support/fake_machine.h"
#include "support/meltrix_process.h"
#include "support/mosquitto_broker.h"
#include "support/mqtt_observer.h"
#include "support/qt_printers.h"
#include "support/rule_fixtures.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <iostream>

namespace {

using Publication = QPair<QString, QString>;

const QString Description = QStringLiteral("INST1");
// Room for the production intervals (10 s reconnection, 10 s send timer) on a loaded machine.
constexpr int kConnectionDeadlineMs = 15'000;
constexpr int kSummaryDeadlineMs = 25'000;
constexpr int kReconnectionDeadlineMs = 30'000;
// A started agent reaches the broker at once and its machine one second later.
constexpr int kAgentWouldHaveStartedMs = 2'500;

// One record of the machine list (manufacturer F1, line L1, model M1), ending with "|".
QString Record(const QString& serial, const QString& name, quint16 port, const QString& protocolo = "MTConnect") {
    return QStringList{serial, "127.0.0.1", QString::number(port), protocolo, name, "F1", "L1", "M1", "False"}.join(
               u':') +
           u'|';
}

QString Sha1(const QString& text) {
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

// How many times the message stands as one whole log line after its "dd/mm HH:nn:ss" stamp.
qsizetype CountLines(const QString& log, const QString& message) {
    const QRegularExpression line("^\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d " + QRegularExpression::escape(message) + "\r$",
                                  QRegularExpression::MultilineOption);
    qsizetype count = 0;
    for (auto match = line.globalMatch(log); match.hasNext(); match.next()) ++count;
    return count;
}

bool HasLine(const QString& log, const QString& message) { return CountLines(log, message) > 0; }

bool HasSetting(const QString& settings, const QString& key, const QString& value) {
    return QRegularExpression("^" + QRegularExpression::escape(key + "=" + value) + "\r?$",
                              QRegularExpression::MultilineOption)
        .match(settings)
        .hasMatch();
}

// Every line of a daily log file reads "dd/mm HH:nn:ss message", stamped on the file's own
// day, and ends with CR LF.
void ExpectStampedLines(const QString& path) {
    const QString name = QFileInfo(path).completeBaseName();
    const QString day = name.right(8);  // ddmmyyyy
    const QString text = MeltrixProcess::readText(path);
    ASSERT_FALSE(text.isEmpty()) << path.toStdString();
    EXPECT_TRUE(text.endsWith("\r\n")) << path.toStdString();
    const QRegularExpression stamped("^(\\d\\d)/(\\d\\d) ([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d \\S.*$");
    for (const QString& line : text.chopped(2).split("\r\n")) {
        const QRegularExpressionMatch match = stamped.match(line);
        ASSERT_TRUE(match.hasMatch()) << path.toStdString() << ": " << line.toStdString();
        EXPECT_EQ(match.captured(1) + match.captured(2), day.left(4)) << line.toStdString();
    }
}

QList<Publication> PublicationsUnder(const MqttObserver& observer, const QString& topicStart) {
    QList<Publication> found;
    for (const MqttObserver::Message& message : observer.messages())
        if (message.topic.startsWith(topicStart)) found.append({message.topic, message.payload});
    return found;
}

QStringList PayloadsOn(const MqttObserver& observer, const QString& topic) {
    QStringList payloads;
    for (const MqttObserver::Message& message : observer.messagesOn(topic)) payloads << message.payload;
    return payloads;
}

// The H1 values of the summaries of a batch text, in order (field 5 of each line).
QStringList H1Values(const QString& batchText) {
    QStringList values;
    for (const QString& line : batchText.split("\r\n")) {
        const QStringList fields = line.split(u'|');
        if (fields.size() == 8 && fields[2] == u"H1") values << fields[4];
    }
    return values;
}

class MeltrixProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(broker.start()) << broker.log().toStdString();
        observer = std::make_unique<MqttObserver>(broker);
        ASSERT_TRUE(observer->waitUntilSubscribed());
        meltrix.setEnvironment("COMPUTERNAME", "E2EPC");
        meltrix.writeSettings(broker.port(), Description);
    }

    void TearDown() override {
        if (!HasFailure()) return;
        std::cerr << "---- meltrix output\n"
                  << meltrix.output().toStdString() << "---- installation log\n"
                  << meltrix.logText("Meltrix").toStdString();
    }

    bool waitForPublication(const QString& topic, const QString& payload, int timeoutMs = kConnectionDeadlineMs) {
        return SpinUntil([&] { return PayloadsOn(*observer, topic).contains(payload); }, timeoutMs);
    }

    // The installation is connected and has announced its last machine.
    bool waitUntilAnnounced(const QString& lastSerial, const QString& description = Description) {
        return SpinUntil(
            [&] { return !observer->messagesOn("iot/agents/" + description + "/" + lastSerial).isEmpty(); },
            kConnectionDeadlineMs);
    }

    // Asks on the command topic and returns the next answer (empty when none came).
    QString ask(const QString& command, const QString& description = Description) {
        const QString response = "/IoT/" + description + "/" + command + "/RESPONSE";
        const qsizetype before = observer->messagesOn(response).size();
        observer->publish("/IoT/" + description + "/" + command, "?");
        if (!SpinUntil([&] { return observer->messagesOn(response).size() > before; })) return {};
        return observer->messagesOn(response)[before].payload;
    }

    // Asks for the machine report until it reads as expected (the statuses arrive one by one).
    bool machineReportBecomes(const QString& expected) {
        QDeadlineTimer deadline(kConnectionDeadlineMs);
        while (!deadline.hasExpired()) {
            if (ask("GETMACHINES") == expected) return true;
            SpinFor(200);
        }
        return false;
    }

    void expectCleanStop() {
        ASSERT_TRUE(meltrix.stop());
        EXPECT_TRUE(meltrix.exitedNormally());
        EXPECT_EQ(meltrix.exitCode(), 0) << meltrix.output().toStdString();
    }

    MosquittoBroker broker;
    std::unique_ptr<MqttObserver> observer;
    MeltrixProcess meltrix;
};

}  // namespace

// ------------------------------------------------------------------ presence, commands, logs

TEST_F(MeltrixProcessTest, ServiceAnnouncesItselfAndItsMachinesAnswersItsCommandsAndLogsEveryLine) {
    FakeMachine lathe;
    // File order is not table order: the table is sorted by name.
    meltrix.writeMachineList(Record("SN2", "Mill", 1883, "MQTT") + Record("SN1", "Lathe", lathe.port()));
    ASSERT_TRUE(meltrix.start());
    ASSERT_TRUE(waitUntilAnnounced("SN2"));

    EXPECT_EQ(PublicationsUnder(*observer, "iot/agents/"),
              QList<Publication>({{"iot/agents/INST1", "ONLINE"},
                                  {"iot/agents/INST1/SN1", "Lathe, 127.0.0.1"},
                                  {"iot/agents/INST1/SN2", "Mill, 127.0.0.1"}}));
    MqttObserver newcomer(broker, "iot/agents/#");
    ASSERT_TRUE(SpinUntil([&] { return newcomer.messages().size() == 3; }));
    for (const MqttObserver::Message& message : newcomer.messages())
        EXPECT_TRUE(message.retained) << message.topic.toStdString();

    // Each agent announces its machine on its own connection.
    ASSERT_TRUE(waitForPublication("/IoT/SRV/UPDATE", "info|SN1"));
    ASSERT_TRUE(waitForPublication("/IoT/SRV/UPDATE", "info|SN2"));
    EXPECT_EQ(PayloadsOn(*observer, "/IoT/SN1/VERSAO"), QStringList({"1.0.0"}));
    EXPECT_EQ(PayloadsOn(*observer, "/IoT/SN1/MODELO"), QStringList({"M1"}));
    EXPECT_EQ(PayloadsOn(*observer, "/IoT/SN1/INFOv2"),
              QStringList({"Lathe|MTConnect;127.0.0.1;" + QString::number(lathe.port()) + "|180"}));
    EXPECT_EQ(PayloadsOn(*observer, "/IoT/SN2/INFOv2"), QStringList({"Mill|MQTT;127.0.0.1;1883|180"}));

    EXPECT_EQ(ask("ISLIVE"), "Alive!");
    EXPECT_TRUE(machineReportBecomes("SN1 - StatusMQTT: Online - StatusTelnet: Connected - Machine: Lathe\r\n"
                                     "SN2 - StatusMQTT: Online - StatusTelnet: Stand by - Machine: Mill\r\n"));
    observer->publish("/IoT/SN1/GETCLIENTNAME", "");
    EXPECT_TRUE(waitForPublication("/IoT/SN1/RESPONSE", "meltrix_E2EPC"));

    expectCleanStop();
    EXPECT_TRUE(waitForPublication("iot/agents/INST1", ""));  // the presence is cleared

    const QStringList logs = meltrix.logFiles();
    for (const QString name : {"Meltrix", "SOCKET", "SN1", "SN2"}) {
        const QRegularExpression daily("/" + QString(name) + "_\\d{8}\\.log$");
        EXPECT_FALSE(logs.filter(daily).isEmpty()) << name.toStdString() << " in " << logs.join(", ").toStdString();
    }
    for (const QString& path : logs) ExpectStampedLines(path);
    const QString installation = meltrix.logText("Meltrix");
    for (const QString line : {"Servidor Iniciando com windows...", "Servidor Iniciado com windows!", "Conectado",
                               "Quantidade de agents criados: 2", "Servidor Parado"})
        EXPECT_TRUE(HasLine(installation, line)) << line.toStdString();
    for (const QString serial : {"SN1", "SN2"}) {
        EXPECT_TRUE(HasLine(meltrix.logText(serial), "MQTT: Online")) << serial.toStdString();
        // The agents' last lines, queued while the service stopped, are written too.
        EXPECT_TRUE(HasLine(meltrix.logText(serial), "Machine shutdown procedure")) << serial.toStdString();
    }
    EXPECT_TRUE(meltrix.logText("SOCKET").contains(" | Máquina: Lathe | Porta: " + QString::number(lathe.port()) +
                                                   "\r\n"));
}

TEST_F(MeltrixProcessTest, SetDescriptionRestartsTheAgentsUnderTheNewDescriptionAndSavesIt) {
    FakeMachine lathe;
    meltrix.writeMachineList(Record("SN1", "Lathe", lathe.port()));
    ASSERT_TRUE(meltrix.start());
    ASSERT_TRUE(waitUntilAnnounced("SN1"));
    ASSERT_TRUE(SpinUntil([&] { return lathe.connections() == 1; }, kConnectionDeadlineMs));

    observer->publish("/IoT/INST1/SETDESCRIPTION", " Line 2 ");
    ASSERT_TRUE(waitUntilAnnounced("SN1", "Line 2"));
    EXPECT_EQ(PayloadsOn(*observer, "iot/agents/Line 2"), QStringList({"ONLINE"}));
    EXPECT_EQ(PayloadsOn(*observer, "iot/agents/Line 2/SN1"), QStringList({"Lathe, 127.0.0.1"}));
    EXPECT_TRUE(waitForPublication("iot/agents/INST1", ""));  // the old presence is cleared
    EXPECT_EQ(PayloadsOn(*observer, "iot/agents/INST1"), QStringList({"ONLINE", ""}));
    EXPECT_TRUE(HasSetting(meltrix.settingsText(), "Description", "Line 2")) << meltrix.settingsText().toStdString();
    EXPECT_TRUE(HasSetting(meltrix.settingsText(), "Port", QString::number(broker.port())));

    // A new agent opens a new link to the machine and announces the machine again.
    ASSERT_TRUE(SpinUntil([&] { return lathe.connections() >= 2; }, kConnectionDeadlineMs));
    EXPECT_TRUE(SpinUntil([&] { return PayloadsOn(*observer, "/IoT/SRV/UPDATE").count("info|SN1") >= 2; }));
    EXPECT_TRUE(HasLine(meltrix.logText("Meltrix"), "Servidor Parado"));

    // The old name's commands are no longer heard; an answer to it would precede this one.
    observer->publish("/IoT/INST1/ISLIVE", "?");
    EXPECT_EQ(ask("ISLIVE", "Line 2"), "Alive!");
    EXPECT_TRUE(observer->messagesOn("/IoT/INST1/ISLIVE/RESPONSE").isEmpty());
    expectCleanStop();
}

// ------------------------------------------------------------------ machine validation

struct IncompleteMachine {
    const char* name;
    const char* record;  // after a complete machine in table order
    const char* message;
};

void PrintTo(const IncompleteMachine& machine, std::ostream* out) { *out << machine.name; }

class IncompleteMachineTest : public MeltrixProcessTest, public ::testing::WithParamInterface<IncompleteMachine> {};

TEST_P(IncompleteMachineTest, StartsNoAgentAndTheInstallationLogSaysWhy) {
    FakeMachine lathe;
    meltrix.writeMachineList(Record("SN1", "Lathe", lathe.port()) + GetParam().record);
    ASSERT_TRUE(meltrix.start());
    const QString message = QString::fromUtf8(GetParam().message);
    ASSERT_TRUE(SpinUntil([&] { return HasLine(meltrix.logText("Meltrix"), message); }, kConnectionDeadlineMs));
    EXPECT_TRUE(waitForPublication("iot/agents/INST1", "ONLINE"));

    // The installation keeps running without agents.
    EXPECT_EQ(ask("ISLIVE"), "Alive!");
    SpinFor(kAgentWouldHaveStartedMs);
    EXPECT_EQ(lathe.connections(), 0);
    EXPECT_TRUE(PublicationsUnder(*observer, "/IoT/SN1/").isEmpty());
    EXPECT_TRUE(PayloadsOn(*observer, "/IoT/SRV/UPDATE").isEmpty());
    EXPECT_FALSE(HasLine(meltrix.logText("Meltrix"), "Servidor Iniciado"));
    EXPECT_TRUE(meltrix.logText("SN1").isEmpty());
    expectCleanStop();
}

INSTANTIATE_TEST_SUITE_P(
    MeltrixProcess, IncompleteMachineTest,
    ::testing::Values(
        IncompleteMachine{"WithoutSerial", "  :127.0.0.1:7000:MTConnect:Mill:F2:L2:M2:False|",
                          "Existem máquinas sem um serial cadastrado!"},
        IncompleteMachine{"WithBlankManufacturer", "SN2:127.0.0.1:7000:MTConnect:Mill: :L2:M2:False|",
                          "O Serial \"SN2\" não está com o Fabricante preenchido!"},
        IncompleteMachine{"WithoutModel", "SN2:127.0.0.1:7000:MTConnect:Mill:F2:L2::False|",
                          "O Serial \"SN2\" não está com o Modelo preenchido!"}),
    [](const ::testing::TestParamInfo<IncompleteMachine>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------ broker connection

TEST_F(MeltrixProcessTest, LostAndRestoredBrokerConnectionRestartsEveryAgent) {
    FakeMachine lathe;
    FakeMachine mill;
    meltrix.writeMachineList(Record("SN1", "Lathe", lathe.port()) + Record("SN2", "Mill", mill.port()));
    ASSERT_TRUE(meltrix.start());
    ASSERT_TRUE(waitUntilAnnounced("SN2"));
    ASSERT_TRUE(SpinUntil([&] { return lathe.connections() == 1 && mill.connections() == 1; }, kConnectionDeadlineMs));

    broker.stop();
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    MqttObserver afterwards(broker);
    ASSERT_TRUE(afterwards.waitUntilSubscribed());

    // The machine links are independent of the broker: only new agents connect again.
    ASSERT_TRUE(SpinUntil([&] { return lathe.connections() == 2 && mill.connections() == 2; },
                          kReconnectionDeadlineMs));
    ASSERT_TRUE(SpinUntil(
        [&] {
            const QStringList updates = PayloadsOn(afterwards, "/IoT/SRV/UPDATE");
            return updates.contains("info|SN1") && updates.contains("info|SN2");
        },
        kConnectionDeadlineMs));
    ASSERT_TRUE(SpinUntil([&] { return !afterwards.messagesOn("iot/agents/INST1").isEmpty(); }));
    EXPECT_EQ(PayloadsOn(afterwards, "iot/agents/INST1"), QStringList({"ONLINE"}));
    const QString installation = meltrix.logText("Meltrix");
    EXPECT_TRUE(HasLine(installation, "Desconectado"));
    EXPECT_EQ(CountLines(installation, "Quantidade de agents criados: 2"), 2);
    expectCleanStop();
}

// ------------------------------------------------------------------ service stop and summaries

TEST_F(MeltrixProcessTest, SigtermPersistsEveryUnacknowledgedSummaryAndTheRestartSendsTheOldestFirst) {
    FakeMachine lathe;
    // The heartbeat re-publishes H1 at every tick of the data process, after its summary check.
    observer->publish("/MODELO/M1/REGRAS",
                      RulesDocument({RuleObject("H1", {{"IdTagReferencia", "1"},
                                                       {"GerarNovoRegistro", true},
                                                       {"IntervaloMaximo", 500}})}),
                      true);
    meltrix.writeMachineList(Record("SN1", "Lathe", lathe.port()));
    ASSERT_TRUE(meltrix.start());
    ASSERT_TRUE(observer->waitForMessageOn("/IoT/SN1/LAST_VALUES/GET", kConnectionDeadlineMs));
    observer->publish("/IoT/SN1/LAST_VALUES", "[]");
    ASSERT_TRUE(SpinUntil([&] { return lathe.connected(); }, kConnectionDeadlineMs));

    // The machine changes state; a tick after the change has written its summary.
    const auto changeState = [&](const char* state) {
        const qsizetype before = observer->messagesOn("/IoT/SN1/H1").size();
        lathe.send(QByteArray("2024-06-24T10:11:12.123Z|H1|") + state + "\r\n");
        ASSERT_TRUE(SpinUntil([&] { return PayloadsOn(*observer, "/IoT/SN1/H1").indexOf(state, before) >= 0; }));
        const qsizetype change = PayloadsOn(*observer, "/IoT/SN1/H1").indexOf(state, before);
        ASSERT_TRUE(SpinUntil([&] { return observer->messagesOn("/IoT/SN1/H1").size() > change + 1; }));
    };
    ASSERT_NO_FATAL_FAILURE(changeState("1"));
    ASSERT_NO_FATAL_FAILURE(changeState("0"));
    ASSERT_TRUE(observer->waitForMessageOn("/IoT/SN1/RESUMO", kSummaryDeadlineMs));
    const QString firstBatch = PayloadsOn(*observer, "/IoT/SN1/RESUMO").first();
    ASSERT_NO_FATAL_FAILURE(changeState("1"));  // goes into the next batch
    expectCleanStop();
    EXPECT_EQ(PayloadsOn(*observer, "/IoT/SN1/RESUMO").size(), 1);  // nothing was acknowledged

    // The batch handed out and the one still filling are both on disk, oldest first.
    const QStringList files = meltrix.resumoFiles();
    ASSERT_EQ(files.size(), 2) << files.join(", ").toStdString();
    const QString firstFile = MeltrixProcess::readText(files[0]);
    const QString secondFile = MeltrixProcess::readText(files[1]);
    EXPECT_EQ(firstFile, firstBatch);
    EXPECT_EQ(H1Values(firstFile) + H1Values(secondFile), QStringList({"ACTIVE", "STOP", "ACTIVE", "POWER_OFF"}));

    ASSERT_TRUE(meltrix.start());
    ASSERT_TRUE(SpinUntil([&] { return observer->messagesOn("/IoT/SN1/RESUMO").size() == 2; }, kSummaryDeadlineMs));
    EXPECT_EQ(PayloadsOn(*observer, "/IoT/SN1/RESUMO")[1], firstFile);
    // The acknowledgement sends the next batch at once.
    observer->publish("/IoT/SN1/RESUMOACK", Sha1(firstFile));
    ASSERT_TRUE(SpinUntil([&] { return observer->messagesOn("/IoT/SN1/RESUMO").size() == 3; }));
    EXPECT_EQ(PayloadsOn(*observer, "/IoT/SN1/RESUMO")[2], secondFile);
    expectCleanStop();
}

// ------------------------------------------------------------------ command line

TEST_F(MeltrixProcessTest, CfgInAnyCaseAsksForTheWindowWhileOtherSpellingsRunTheService) {
    for (const QString word : {"CFG", "cfg", "Cfg"}) {
        ASSERT_TRUE(meltrix.start({word}));
        ASSERT_TRUE(meltrix.waitForExit(kConnectionDeadlineMs));
        EXPECT_TRUE(meltrix.exitedNormally()) << word.toStdString();
        EXPECT_NE(meltrix.exitCode(), 0) << word.toStdString();
        EXPECT_TRUE(meltrix.output().contains("the configuration window (CFG) is not built yet"))
            << meltrix.output().toStdString();
    }
    EXPECT_TRUE(PublicationsUnder(*observer, "iot/agents/").isEmpty());

    for (const QString word : {"/CFG", "-cfg"}) {
        const qsizetype announcements = observer->messagesOn("iot/agents/INST1").size();
        ASSERT_TRUE(meltrix.start({word}));
        ASSERT_TRUE(SpinUntil([&] { return PayloadsOn(*observer, "iot/agents/INST1").mid(announcements).contains("ONLINE"); },
                              kConnectionDeadlineMs))
            << word.toStdString();
        expectCleanStop();
    }
}
