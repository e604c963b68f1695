// The simulators against the agent's own pipeline: the sample rules of the cloud simulator,
// the requests the protocol agent builds, and what the data process makes of the answers.
#include "agents/brelk_protocol_agent.h"
#include "agents/mtconnect_agent.h"
#include "cloud-sim/cloud_samples.h"
#include "settings/maquina.h"
#include "summaries/resumo_mem_cache.h"
#include "support/recording_publisher.h"
#include "tools/shdr-sim/shdr_simulator_fixture.h"
#include "util/cipher.h"
#include "util/topics.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

class SimulatorsWithPipelineTest : public ShdrSimulatorTest {
protected:
    SimulatorsWithPipelineTest() {
        maquina.setSerial(Serial);
        maquina.setIDModelo("1");
    }

    QList<RecordingPublisher::Publication> expectedPublications() const {
        return {{topics::H1(Serial), "1"},
                {topics::Horimetro(Serial), "1523.5000"},
                {topics::Dados(Serial), "SPINDLE|1200"}};
    }

    void expectPublished(const QList<RecordingPublisher::Publication>& expected) const {
        const QList<RecordingPublisher::Publication> published = publisher.published();
        for (const RecordingPublisher::Publication& publication : expected)
            EXPECT_TRUE(published.contains(publication)) << ::testing::PrintToString(publication) << " among "
                                                         << ::testing::PrintToString(published);
    }

    static inline const QString Serial = QStringLiteral("SIM1");
    TMaquina maquina;
    TProcRegLog3 logProc = [](const QString&, bool) {};
    RecordingPublisher publisher;
    TResumoMemCache resumos{Serial, logProc};
    TTagMTConnectDict tags;
};

}  // namespace

TEST_F(SimulatorsWithPipelineTest, TheProtocolAgentsPollIsAnsweredWithValuesItPublishes) {
    TBrelkProtocolAgent agent(maquina, logProc, publisher, resumos, tags, false);
    agent.setRegras(cloud_samples::Regras());
    QString request;
    {
        std::lock_guard lock(agent.regrasLock());
        request = agent.buildRequest();
    }
    ASSERT_FALSE(request.isEmpty());

    startSimulator(Options(TShdrMode::Brelk));
    client.write((request + "\r\n").toLatin1());
    ASSERT_TRUE(waitForLines(1));
    EXPECT_TRUE(logOf(TSimLogKind::Traffic).join('\n').contains("poll GET|H1|STATE|HORIMETRO|HOURS|ALARME|ALARM|SPINDLE|SPEED"));

    agent.run(cipher::DecriptarTexto(QString::fromLatin1(received)));
    expectPublished(expectedPublications());
}

TEST_F(SimulatorsWithPipelineTest, TheAdaptersStreamIsPublishedThroughTheSampleRules) {
    TMTConnectAgent agent(maquina, logProc, publisher, resumos, tags);
    agent.setRegras(cloud_samples::Regras());

    TShdrSimOptions options = Options(TShdrMode::MTConnect);
    options.behaviour.alarmEveryTicks = 1;  // raised from the first tick on
    startSimulator(options);
    ASSERT_TRUE(waitForLines(2));  // every value for the new client
    simulator->tick();
    ASSERT_TRUE(waitForLines(3));

    agent.run(QString::fromUtf8(received));
    expectPublished(expectedPublications());
    // The alarm kind cleans the control's dashes up before it publishes.
    expectPublished({{topics::Alarme(Serial), "FAULT - 1001 - Over temp"},
                     {topics::Dados(Serial), "ALARME|FAULT - 1001 - Over temp"}});
}
