// One machine agent in-process against a real broker and a machine on loopback.
#include "agents/dm_agent.h"

#include "summaries/files.h"
#include "summaries/resumo_mem_cache.h"
#include "support/data_process_fixture.h"
#include "support/event_loop.h"
#include "support/fake_machine.h"
#include "support/mqtt_observer.h"
#include "support/mqtt_test_fixture.h"
#include "support/rule_fixtures.h"
#include "summaries/summary_fixtures.h"
#include "util/cipher.h"
#include "util/clock.h"
#include "util/date_time.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

namespace {

QString Sha1(const QString& text) {
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

class TDMAgentTest : public MqttBrokerTest {
protected:
    void SetUp() override {
        MqttBrokerTest::SetUp();
        TimingConstants timing = Timing::get();
        timing.machineConnectDelay = std::chrono::milliseconds(50);
        timing.reconnectSecond = std::chrono::milliseconds(20);
        timing.sendResumos = std::chrono::milliseconds(100);
        timing.startTimeout = std::chrono::milliseconds(300);
        timing.resumoAckWait = std::chrono::milliseconds(400);
        timing.resumoAckWaitPerRetry = std::chrono::milliseconds(100);
        timing.lastValuesPause = std::chrono::milliseconds(50);
        timing.dataProcessTick = std::chrono::milliseconds(50);
        timing.poweroffStep = std::chrono::milliseconds(50);
        Timing::set(timing);
        observer = std::make_unique<MqttObserver>(broker);
        ASSERT_TRUE(observer->waitUntilSubscribed());
        maquina.setSerial(serial);
        maquina.setNome("Lathe 1");
        maquina.setEndereco("127.0.0.1");
        maquina.setPorta(machine.port());
        maquina.setProtocolo("MTConnect");
        maquina.setIDFabricante("F1");
        maquina.setIDLinha("L1");
        maquina.setIDModelo(model);
    }
    void TearDown() override {
        agent.reset();
        // Lines and statuses the agent queued to the main thread reach this fixture now.
        QCoreApplication::sendPostedEvents();
        MqttBrokerTest::TearDown();
    }

    TDMAgent& startAgent() {
        TAgentEnvironment environment;
        environment.log = [this](const QString& logSerial, const QString& message, bool) {
            logged << logSerial + ": " + message;
        };
        environment.statusChanged = [this](const TMaquina& record) { statuses << record.TelnetStatus(); };
        environment.clientName = [] { return QStringLiteral("meltrix_TESTPC"); };
        environment.broker = {broker.host(), {}, {}, broker.port(), false};
        environment.plainRequests = plainRequests;
        agent = std::make_unique<TDMAgent>(maquina, environment);
        return *agent;
    }
    QString topic(const char* leaf) const { return "/IoT/" + serial + "/" + leaf; }
    bool waitFor(const char* leaf) const { return observer->waitForMessageOn(topic(leaf)); }
    QString last(const char* leaf) const { return observer->messagesOn(topic(leaf)).last().payload; }
    bool loggedLine(const QString& part) const { return !logged.filter(part).isEmpty(); }
    void publishRules(const QJsonArray& rules) {
        observer->publish("/MODELO/" + model + "/REGRAS", RulesDocument(rules), true);
    }
    // Answers the last-values request so that data processing starts at once.
    void answerLastValues() {
        ASSERT_TRUE(waitFor("LAST_VALUES/GET"));
        observer->publish(topic("LAST_VALUES"), "[]");
        ASSERT_TRUE(SpinUntil([&] { return loggedLine("starting machine 'Lathe 1'..."); }));
    }

    const QString serial = QString("SN_%1").arg(::testing::UnitTest::GetInstance()->current_test_info()->name()).toUpper();
    const QString model = "MOD_" + serial;
    bool plainRequests = false;
    FakeMachine machine;
    TMaquina maquina;
    std::unique_ptr<MqttObserver> observer;
    std::unique_ptr<TDMAgent> agent;
    QStringList logged;
    QStringList statuses;
};

}  // namespace

TEST_F(TDMAgentTest, MachineLinkAndCloudLinkOfAnAdapter) {
    publishRules({RuleObject("H1", {{"IdTagReferencia", "1"}, {"GerarNovoRegistro", true}, {"EnvioValoresRepetidos", true}}),
                  RuleObject("SPINDLE")});
    startAgent();
    ASSERT_TRUE(SpinUntil([&] { return machine.received().contains("\r\n"); }));
    EXPECT_EQ(machine.received(), (cipher::TokenDoDia() + "\r\n").toLatin1());  // the token comes first

    ASSERT_TRUE(waitFor("SRV/UPDATE") || observer->waitForMessageOn("/IoT/SRV/UPDATE"));
    EXPECT_EQ(last("VERSAO"), "1.0.0");
    EXPECT_EQ(last("FABRICANTE"), "F1");
    EXPECT_EQ(last("MODELO"), model);
    EXPECT_TRUE(last("INFOv2").startsWith("Lathe 1|MTConnect;127.0.0.1;"));

    answerLastValues();
    ASSERT_TRUE(SpinUntil([&] { return !TFiles::readRegrasFile(serial).isEmpty(); }));

    machine.send("2024-06-24T10:11:12.123Z|H1|1|Spindle|1200\r\n");
    ASSERT_TRUE(waitFor("H1"));
    ASSERT_TRUE(SpinUntil([&] { return !observer->messagesOn(topic("DADOS")).isEmpty(); }));
    EXPECT_EQ(last("DADOS"), "SPINDLE|1200");
    EXPECT_TRUE(statuses.contains("Connected"));

    // Link loss: H1 powered off, then attempts after 10, 20, 30 "seconds".
    machine.close();
    machine.dropConnection();
    ASSERT_TRUE(SpinUntil([&] { return last("H1") == "-1"; }));
    ASSERT_TRUE(SpinUntil([&] { return loggedLine("Trying to reconnect in 30 seconds"); }, 20'000));
    QStringList waits;
    for (const QString& line : logged.filter("Trying to reconnect in")) waits << line.section(' ', -2, -2);
    // The loss itself waits 10 s; then each refused attempt waits longer.
    EXPECT_EQ(waits.mid(0, 4), QStringList({"10", "10", "20", "30"}));
}

TEST_F(TDMAgentTest, SummariesAreDeliveredUntilAcknowledgedByTheirLowerCaseDigest) {
    {
        TResumoMemCache earlier(serial, [](const QString&, bool) {});
        for (int n = 1; n <= 11; ++n) earlier.save(NumberedResumo(n, serial));
        earlier.persist();
    }
    startAgent();
    ASSERT_TRUE(waitFor("RESUMO"));
    const QString first = last("RESUMO");
    EXPECT_EQ(NumbersIn(first), Range(1, 10));

    observer->publish(topic("RESUMOACK"), Sha1(first).toUpper());
    ASSERT_TRUE(SpinUntil([&] { return loggedLine("IGNORADO"); }));
    ASSERT_TRUE(SpinUntil([&] { return observer->messagesOn(topic("RESUMO")).size() >= 2; }));
    EXPECT_EQ(last("RESUMO"), first);  // re-sent after the wait

    observer->publish(topic("RESUMOACK"), Sha1(first));
    ASSERT_TRUE(SpinUntil([&] { return NumbersIn(last("RESUMO")) == QList<int>({11}); }));
    observer->publish(topic("RESUMOACK"), Sha1(last("RESUMO")));
    ASSERT_TRUE(SpinUntil([&] { return agent->resumos().amountOfLotes() == 0; }));
}

TEST_F(TDMAgentTest, ShutdownPersistsUnacknowledgedSummaries) {
    publishRules({RuleObject("H1", {{"IdTagReferencia", "1"}, {"GerarNovoRegistro", true}})});
    startAgent();
    answerLastValues();
    machine.send("2024-06-24T10:11:12.123Z|H1|1\r\n");
    ASSERT_TRUE(SpinUntil([&] { return agent->resumos().amountOfLotesInMemory() > 0; }));
    agent.reset();

    TResumoMemCache reopened(serial, [](const QString&, bool) {});
    EXPECT_GE(reopened.amountOfLotesInDisk(), 1u);
    const QString batch = reopened.get();
    EXPECT_TRUE(batch.contains("|H1|1|ACTIVE|")) << batch.toStdString();
    EXPECT_TRUE(batch.contains("|H1|1|POWER_OFF|")) << batch.toStdString();  // the shutdown's power-off
}

TEST_F(TDMAgentTest, MachineDataArrivingWhileTheLastValuesWaitIsPendingOutlivesTheInitialisation) {
    TimingConstants timing = Timing::get();
    timing.lastValuesPause = std::chrono::milliseconds(1000);
    timing.startTimeout = std::chrono::milliseconds(60'000);  // only the last values start the machine
    Timing::set(timing);
    publishRules({RuleObject("H1", {{"IdTagReferencia", "1"}, {"GerarNovoRegistro", true}})});
    startAgent();
    ASSERT_TRUE(waitFor("LAST_VALUES/GET"));
    ASSERT_TRUE(SpinUntil([&] { return machine.connected(); }));
    observer->publish(topic("LAST_VALUES"), "[]");
    // Messages are handled in order: once this one is answered, the wait has begun.
    observer->publish(topic("GETCLIENTNAME"), "");
    ASSERT_TRUE(waitFor("RESPONSE"));
    ASSERT_FALSE(loggedLine("starting machine"));
    machine.send("2024-06-24T10:11:12.123Z|H1|1\r\n");
    ASSERT_TRUE(SpinUntil([&] { return loggedLine("starting machine 'Lathe 1'..."); }));

    const auto newestState = [&] {
        const std::optional<TResumo> newest = agent->resumos().queryLast();
        return newest ? TResumo::getRuleValue(newest->lines().first()) : QString();
    };
    EXPECT_TRUE(SpinUntil([&] { return newestState() == "ACTIVE"; }, 2'000)) << newestState().toStdString();
    EXPECT_EQ(last("H1"), "1");
}

TEST_F(TDMAgentTest, MakersProtocolIsPolledEncipheredAndItsAnswerProcessed) {
    maquina.setProtocolo("BrelkProtocol");
    publishRules({RuleObject("S1", {{"Protocolo", "BrelkProtocol"}, {"ProtocoloParametro", "P1"}}),
                  RuleObject("_S2", {{"Protocolo", "BrelkProtocol"}, {"ProtocoloParametro", "P2"}})});
    startAgent();
    answerLastValues();
    ASSERT_TRUE(SpinUntil([&] { return machine.received().contains("Brelk"); }));
    const QString received = QString::fromLatin1(machine.received());
    const QString request = received.mid(received.indexOf("Brelk")).section("\r\n", 0, 0);
    EXPECT_TRUE(cipher::DecriptarTexto(request).endsWith("|GET|S1|P1|S2|P2\r\n")) << request.toStdString();

    machine.send((cipher::EncriptarLinha("S1|42|S2|7") + "\r\n").toLatin1());
    ASSERT_TRUE(SpinUntil([&] { return observer->messagesOn(topic("DADOS")).size() >= 2; }));
    EXPECT_EQ(observer->messagesOn(topic("DADOS"))[0].payload, "S1|42");
    EXPECT_EQ(observer->messagesOn(topic("DADOS"))[1].payload, "_S2|7");
}

TEST_F(TDMAgentTest, MqttMachineNeverOpensTcpAndTakesDataInput) {
    maquina.setProtocolo("MQTT");
    publishRules({RuleObject("TEMP")});
    startAgent();
    answerLastValues();
    observer->publish(topic("DATAINPUT"), "TEMP|21.5");
    ASSERT_TRUE(waitFor("DADOS"));
    EXPECT_EQ(last("DADOS"), "TEMP|21.5");
    EXPECT_EQ(machine.connections(), 0);
}

TEST_F(TDMAgentTest, AnswersTheCloudsQuestions) {
    publishRules({RuleObject("H1", {{"IdTagReferencia", "1"}})});
    startAgent();
    answerLastValues();
    machine.send("2024-06-24T10:11:12.123Z|H1|1\r\n");
    ASSERT_TRUE(waitFor("H1"));

    observer->publish(topic("SUBSCRIBE"), "client/" + serial + "|" +
                                              date_time::IsoWithOffset(Clock::now()));
    ASSERT_TRUE(observer->waitForMessageOn("client/" + serial));
    EXPECT_EQ(observer->messagesOn("client/" + serial).first().payload, "H1|" + serial + "|1");
    observer->publish(topic("SUBSCRIBE"), "late/" + serial + "|2020-01-01T00:00:00Z");

    observer->publish("/IoT/TABREFERENCIA", R"([{"tag":"1","name":"State","description":"Machine state","unit":""}])");
    observer->publish(topic("GET_REGRA"), "h1");
    observer->publish(topic("CHANGELOG"), "H1");
    observer->publish(topic("GETCLIENTNAME"), "");
    observer->publish(topic("GET"), "");
    ASSERT_TRUE(waitFor("JSON"));
    EXPECT_TRUE(last("REGRAS").contains("\"Nome\":\"H1\""));
    const auto responses = observer->messagesOn(topic("RESPONSE"));
    ASSERT_EQ(responses.size(), 2);
    EXPECT_TRUE(responses[0].payload.startsWith("Change History: H1\r\n"));
    EXPECT_EQ(responses[1].payload, "meltrix_TESTPC");
    EXPECT_TRUE(observer->messagesOn("late/" + serial).isEmpty());
    EXPECT_EQ(last("JSON"), "[{\"serial\":\"" + serial +
                                "\",\"tagid\":\"1\",\"name\":\"State\",\"description\":\"Machine state\",\"unit\":\"\","
                                "\"value\":\"ACTIVE\"}]");
}

TEST_F(TDMAgentTest, RawLinesAreForwardedWhileLogTelnetIsOn) {
    publishRules({RuleObject("H1")});
    startAgent();
    answerLastValues();
    observer->publish(topic("SET_PARAM"), "log_telnet:TRUE");  // lower case: no effect
    observer->publish(topic("SET_PARAM"), "LOG_TELNET:TRUE");
    ASSERT_TRUE(SpinUntil([&] { return agent->LogTelnet(); }));
    // Topic and text together exactly 125 characters: one space is added, also for the pipeline.
    const QString line = "2024-06-24T10:11:12.123Z|H1|1|X|" + QString(125 - topic("TELNET").size() - 34, u'y') + "\r\n";
    ASSERT_EQ(topic("TELNET").size() + line.size(), 125);
    machine.send(line.toLatin1());
    ASSERT_TRUE(waitFor("TELNET"));
    EXPECT_EQ(last("TELNET"), line + " ");
    observer->publish(topic("SET_PARAM"), "LOG_TELNET:off");
    ASSERT_TRUE(SpinUntil([&] { return !agent->LogTelnet(); }));
}

TEST_F(TDMAgentTest, AfterShutdownNothingIsLoggedButTheClosingLine) {
    startAgent();
    ASSERT_TRUE(SpinUntil([&] { return machine.connected(); }));
    agent->Shutdown();
    agent->Shutdown();
    QCoreApplication::sendPostedEvents();
    const qsizetype linesAtShutdown = logged.size();
    machine.send("2024-06-24T10:11:12.123Z|H1|1\r\n");
    machine.dropConnection();
    SpinFor(300);
    EXPECT_EQ(logged.size(), linesAtShutdown);
    EXPECT_EQ(logged.filter("Machine shutdown procedure").size(), 1);
    EXPECT_EQ(statuses.last(), "");
}
