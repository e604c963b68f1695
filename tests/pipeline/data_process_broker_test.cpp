// The pipeline end to end through a real broker: machine text in, publications out.
#include "agents/dm_agent_mqtt.h"
#include "agents/mtconnect_agent.h"
#include "messaging/mqtt_client.h"
#include "settings/maquina.h"
#include "summaries/resumo_mem_cache.h"
#include "support/data_process_fixture.h"
#include "support/event_loop.h"
#include "support/mqtt_observer.h"
#include "support/mqtt_test_fixture.h"

#include <gtest/gtest.h>

namespace {

class DataProcessBrokerTest : public MqttBrokerTest {
protected:
    void SetUp() override {
        MqttBrokerTest::SetUp();
        TimingConstants timing = Timing::get();
        timing.dataProcessTick = std::chrono::milliseconds(20);
        Timing::set(timing);
        maquina.setSerial("SN_BROKER");
        maquina.setProtocolo("MTConnect");
        client.Connect(broker.connectionSettings());
        ASSERT_TRUE(SpinUntil([&] { return client.IsConnected(); }));
        observer = std::make_unique<MqttObserver>(broker, "/IoT/#");
        ASSERT_TRUE(observer->waitUntilSubscribed());
    }

    QStringList leavesReceived() const {
        QStringList leaves;
        for (const auto& message : observer->messages()) leaves << message.topic.section('/', 3);
        return leaves;
    }

    TMaquina maquina;
    TMqttClient client;
    TDMAgentMqtt publisher{client};
    TResumoMemCache resumos{"SN_BROKER", [](const QString&, bool) {}};
    TTagMTConnectDict tags;
    std::unique_ptr<MqttObserver> observer;  // once the broker runs
};

}  // namespace

TEST_F(DataProcessBrokerTest, RecordBecomesPublicationsInOrderAndASummaryAtTheNextTick) {
    TMTConnectAgent process(maquina, [](const QString&, bool) {}, publisher, resumos, tags);
    process.setRegras(RulesDocument({RuleObject("SPINDLE"),
                                     RuleObject("H1", {{"IdTagReferencia", "1"}, {"GerarNovoRegistro", true}}),
                                     RuleObject("ALARME", {{"IdTagReferencia", "7"}})}));
    tags["7"].Fill("7", "Alarm", "Active alarm", "");
    process.start();

    process.run("2024-06-24T10:11:12.123Z|Spindle|1200|H1|1|ALARME|FAULT - 1001 -  - Over temp\r\n");
    const QStringList expected = {"DADOS",  "H1",    "H1DATAHORA", "DADOSPLUS",       "DADOSAPONTAMENTO",
                                  "ALARME", "DADOS", "DADOSPLUS",  "DADOSAPONTAMENTO"};
    ASSERT_TRUE(SpinUntil([&] { return leavesReceived().size() >= expected.size(); }));
    EXPECT_EQ(leavesReceived(), expected);
    const auto references = observer->messagesOn("/IoT/SN_BROKER/DADOSPLUS");
    EXPECT_EQ(references.first().payload, "1|1");  // no tag-table entry: the short form
    EXPECT_EQ(references.last().payload, "7|FAULT - 1001 - Over temp|Alarm|Active alarm|");
    ASSERT_TRUE(SpinUntil([&] { return resumos.amountOfLotes() == 1; }));
    EXPECT_TRUE(resumos.get().contains("SN_BROKER|"));
}
