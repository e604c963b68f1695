#include "cloud-sim/cloud_simulator.h"

#include "cloud-sim/cloud_samples.h"
#include "support/event_loop.h"
#include "support/mqtt_observer.h"
#include "support/mqtt_test_fixture.h"
#include "support/qt_printers.h"
#include "util/topics.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using namespace std::chrono_literals;

// A batch of one summary whose text is not ASCII: the digest is taken over UTF-8 bytes.
const QString Batch = QStringLiteral(
    "M1|2024-06-24T10:15:30.123-03:00|H1|1|ACTIVE|75|1|STOP\r\n"
    "M1|2024-06-24T10:15:30.123-03:00|ALARME|3|Máquina parada|0|0|\r\n"
    "\r\n***\r\n");
// sha1sum of Batch written as UTF-8.
const QString BatchSha1 = QStringLiteral("fa83ac42ad613257f1c1b51f160f793478043929");

class CloudSimulatorTest : public MqttBrokerTest {
protected:
    void SetUp() override {
        MqttBrokerTest::SetUp();
        observer = std::make_unique<MqttObserver>(broker);
        ASSERT_TRUE(observer->waitUntilSubscribed());
    }

    void startCloud(const std::function<void(TCloudSimOptions&)>& adjust = {}) {
        TCloudSimOptions options;
        options.connection = broker.connectionSettings();
        options.regras = cloud_samples::Regras();
        options.tabReferencia = cloud_samples::TabReferencia();
        options.fabricantes = cloud_samples::Fabricantes();
        options.linhas = cloud_samples::Linhas();
        options.modelos = cloud_samples::Modelos();
        if (adjust) adjust(options);
        cloud = std::make_unique<TCloudSimulator>(options, [this](TSimLogKind kind, const QString& line) {
            (kind == TSimLogKind::Traffic ? traffic : others).append(line);
        });
        cloud->start();
        ASSERT_TRUE(SpinUntil([this] { return cloud->isReady(); }));
        // Its own last publication coming back shows that its subscriptions are in place.
        ASSERT_TRUE(SpinUntil([this] { return traffic.join('\n').contains("<- " + topics::Modelos()); }));
    }

    QString lastPayloadOn(const QString& topic) const {
        const auto messages = observer->messagesOn(topic);
        return messages.isEmpty() ? QString() : messages.last().payload;
    }

    std::unique_ptr<MqttObserver> observer;
    std::unique_ptr<TCloudSimulator> cloud;
    QStringList traffic;
    QStringList others;
};

}  // namespace

TEST_F(CloudSimulatorTest, PublishesTheDocumentsRetainedOnConnection) {
    startCloud();
    MqttObserver late(broker);  // subscribes after the publications: sees only what is retained
    ASSERT_TRUE(late.waitUntilSubscribed());
    const QList<QPair<QString, QString>> expected = {
        {topics::ModeloRegras("1"), cloud_samples::Regras()},
        {topics::TabReferencia(), cloud_samples::TabReferencia()},
        {topics::Fabricantes(), cloud_samples::Fabricantes()},
        {topics::Linhas(), cloud_samples::Linhas()},
        {topics::Modelos(), cloud_samples::Modelos()},
    };
    for (const auto& [topic, payload] : expected) {
        ASSERT_TRUE(late.waitForMessageOn(topic)) << topic.toStdString();
        const auto message = late.messagesOn(topic).first();
        EXPECT_EQ(message.payload, payload);
        EXPECT_TRUE(message.retained) << topic.toStdString();
    }
}

TEST_F(CloudSimulatorTest, AcknowledgesEverySummaryBatchWithItsSha1) {
    startCloud();
    ASSERT_TRUE(observer->publish(topics::Resumo("M1"), Batch));
    ASSERT_TRUE(observer->waitForMessageOn(topics::ResumoAck("M1")));
    EXPECT_EQ(lastPayloadOn(topics::ResumoAck("M1")), BatchSha1);

    // The batch is printed with its lines indented under the topic.
    EXPECT_TRUE(traffic.contains("<- " + topics::Resumo("M1") + "\n"
                                 "    M1|2024-06-24T10:15:30.123-03:00|H1|1|ACTIVE|75|1|STOP\n"
                                 "    M1|2024-06-24T10:15:30.123-03:00|ALARME|3|Máquina parada|0|0|\n"
                                 "    \n"
                                 "    ***"))
        << traffic.join("\n---\n").toStdString();
    EXPECT_TRUE(traffic.contains("-> " + topics::ResumoAck("M1") + " " + BatchSha1));
}

TEST_F(CloudSimulatorTest, AcknowledgementCanBeDelayedOrWithheld) {
    startCloud([](TCloudSimOptions& options) { options.ackDelay = 400ms; });
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(observer->publish(topics::Resumo("M1"), Batch));
    ASSERT_TRUE(observer->waitForMessageOn(topics::ResumoAck("M1")));
    EXPECT_GE(clock.elapsed(), 400);

    cloud.reset();
    traffic.clear();
    startCloud([](TCloudSimOptions& options) { options.acknowledge = false; });
    ASSERT_TRUE(observer->publish(topics::Resumo("M2"), Batch));
    ASSERT_TRUE(SpinUntil([this] { return traffic.join('\n').contains("<- " + topics::Resumo("M2")); }));
    SpinFor(300);
    EXPECT_TRUE(observer->messagesOn(topics::ResumoAck("M2")).isEmpty());
}

TEST_F(CloudSimulatorTest, AnswersLastValuesWithWhatTheSummariesTold) {
    startCloud();
    ASSERT_TRUE(observer->publish(topics::LastValuesGet("M1"), QString()));
    ASSERT_TRUE(observer->waitForMessageOn(topics::LastValues("M1")));
    EXPECT_EQ(lastPayloadOn(topics::LastValues("M1")), "[]");

    ASSERT_TRUE(observer->publish(topics::Resumo("M1"), Batch));
    ASSERT_TRUE(observer->waitForMessageOn(topics::ResumoAck("M1")));
    ASSERT_TRUE(observer->publish(topics::LastValuesGet("M1"), QString()));
    ASSERT_TRUE(SpinUntil([this] { return observer->messagesOn(topics::LastValues("M1")).size() == 2; }));

    const QJsonArray values = QJsonDocument::fromJson(lastPayloadOn(topics::LastValues("M1")).toUtf8()).array();
    ASSERT_EQ(values.size(), 2);
    const QJsonObject h1 = values.at(0).toObject();
    EXPECT_EQ(h1.value("regra").toString(), "H1");
    EXPECT_EQ(h1.value("valor").toString(), "ACTIVE");
    EXPECT_EQ(QDateTime::fromString(h1.value("datahora").toString(), Qt::ISODateWithMs).toUTC(),
              QDateTime(QDate(2024, 6, 24), QTime(13, 15, 30, 123), QTimeZone::utc()));
    EXPECT_EQ(values.at(1).toObject().value("valor").toString(), "Máquina parada");
}

TEST_F(CloudSimulatorTest, LastValuesRequestsCanBeLeftUnanswered) {
    startCloud([](TCloudSimOptions& options) { options.answerLastValues = false; });
    ASSERT_TRUE(observer->publish(topics::LastValuesGet("M1"), QString()));
    ASSERT_TRUE(SpinUntil([this] { return traffic.join('\n').contains("<- " + topics::LastValuesGet("M1")); }));
    SpinFor(300);
    EXPECT_TRUE(observer->messagesOn(topics::LastValues("M1")).isEmpty());
}

TEST_F(CloudSimulatorTest, HandsOutANewSerialForEveryRequest) {
    startCloud();
    const QString first = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");
    const QString second = QStringLiteral("FEDCBA9876543210FEDCBA9876543210");
    ASSERT_TRUE(observer->publish(topics::GetSerial(), first));
    ASSERT_TRUE(observer->publish(topics::GetSerial(), second));
    ASSERT_TRUE(observer->waitForMessageOn(topics::SerialGerado(first)));
    ASSERT_TRUE(observer->waitForMessageOn(topics::SerialGerado(second)));

    const QString serial1 = lastPayloadOn(topics::SerialGerado(first));
    const QString serial2 = lastPayloadOn(topics::SerialGerado(second));
    EXPECT_TRUE(QRegularExpression("^SIM[0-9A-F]{10}$").match(serial1).hasMatch()) << serial1.toStdString();
    EXPECT_NE(serial1, serial2);
}

TEST_F(CloudSimulatorTest, KeepsEveryBatchInTheMachinesFile) {
    QTemporaryDir folder;
    const QString summaries = folder.filePath("summaries");
    startCloud([&summaries](TCloudSimOptions& options) { options.summariesFolder = summaries; });
    const QString second = QStringLiteral("M1|2024-06-24T10:16:00.000-03:00|H1|1|STOP|30|1|ACTIVE\r\n\r\n***\r\n");
    ASSERT_TRUE(observer->publish(topics::Resumo("M1"), Batch));
    ASSERT_TRUE(observer->publish(topics::Resumo("M1"), second));
    ASSERT_TRUE(SpinUntil([this] { return observer->messagesOn(topics::ResumoAck("M1")).size() == 2; }));

    QFile file(summaries + "/M1.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), Batch + second);
}
