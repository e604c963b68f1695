#include "agents/brelk_protocol_agent.h"

#include "agents/agent_socket.h"
#include "support/data_process_fixture.h"
#include "support/fake_machine.h"
#include "support/frozen_clock.h"
#include "util/cipher.h"

#include <gtest/gtest.h>

namespace {

class TBrelkProtocolAgentTest : public DataProcessTest {
protected:
    TBrelkProtocolAgentTest() { Clock::setNow(QDateTime(QDate(2024, 6, 24), QTime(10, 0, 0))); }
    ~TBrelkProtocolAgentTest() override { Clock::reset(); }

    TBrelkProtocolAgent& agent(bool plain = false) {
        if (!brelk)
            brelk = std::make_unique<TBrelkProtocolAgent>(maquina, TProcRegLog3([](const QString&, bool) {}), publisher,
                                                          resumos, tags, plain);
        return *brelk;
    }
    void loadPolled(TBrelkProtocolAgent& target, std::initializer_list<std::pair<const char*, int>> rules) {
        QJsonArray array;
        for (const auto& [name, interval] : rules)
            array.append(RuleObject(name, {{"Protocolo", "BrelkProtocol"},
                                           {"ProtocoloParametro", QString("P_%1").arg(QString(name).remove('_'))},
                                           {"IntervaloMinimo", interval}}));
        array.append(RuleObject("NOTPOLLED", {{"Protocolo", "MTConnect"}}));
        target.setRegras(RulesDocument(array));
    }

    std::unique_ptr<TBrelkProtocolAgent> brelk;
};

}  // namespace

TEST_F(TBrelkProtocolAgentTest, DueRulesGoOutInOneRequestInListOrder) {
    loadPolled(agent(true), {{"S1", 0}, {"_S2", 0}});
    EXPECT_EQ(agent().buildRequest(), "|S1|P_S1|S2|P_S2");
    EXPECT_EQ(agent().buildRequest(), "");  // asked a moment ago
}

TEST_F(TBrelkProtocolAgentTest, EncipheredRequestCarriesGet) {
    loadPolled(agent(false), {{"S1", 0}});
    const QString request = agent().buildRequest();
    ASSERT_TRUE(request.startsWith("Brelk2024-06-24T10:00:00.000Z|")) << request.toStdString();
    EXPECT_EQ(cipher::DecriptarTexto(request), "2024-06-24T10:00:00.000Z|GET|S1|P_S1\r\n");
}

TEST_F(TBrelkProtocolAgentTest, PollIntervalsCountWholeSecondsAndAtLeastOne) {
    loadPolled(agent(true), {{"FAST", 0}, {"HALF", 500}, {"SLOW", 2500}});
    QStringList requests;
    for (int tick = 0; tick < 5; ++tick) {
        requests << agent().buildRequest();
        Clock::advance(1000);
    }
    EXPECT_EQ(requests, QStringList({"|FAST|P_FAST|HALF|P_HALF|SLOW|P_SLOW", "|FAST|P_FAST|HALF|P_HALF",
                                     "|FAST|P_FAST|HALF|P_HALF|SLOW|P_SLOW", "|FAST|P_FAST|HALF|P_HALF",
                                     "|FAST|P_FAST|HALF|P_HALF|SLOW|P_SLOW"}));
}

TEST_F(TBrelkProtocolAgentTest, TheTickPollsAConnectedMachine) {
    Clock::reset();
    FakeMachine machine;
    TAgentSocket socket("127.0.0.1", machine.port(), {}, {}, {}, {});
    socket.Connect();
    ASSERT_TRUE(SpinUntil([&] { return machine.connected() && socket.isConnected(); }));
    loadPolled(agent(true), {{"S1", 0}});
    agent().SetSocket(&socket).start();
    ASSERT_TRUE(SpinUntil([&] { return machine.received().contains("|S1|P_S1\r\n"); }));
}
