#include "host/agent_process_manager.h"

#include "settings/machine_table.h"
#include "support/fake_machine.h"
#include "support/mqtt_test_fixture.h"
#include "util/error.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

class TAgentProcessManagerTest : public MqttBrokerTest {
protected:
    void TearDown() override {
        manager.reset();
        QCoreApplication::sendPostedEvents();
        MqttBrokerTest::TearDown();
    }

    void addRow(const QString& nome, const QString& serial) {
        TMachineRow row = TMachineRow::NewMachine();
        row.Nome = nome;
        row.Serial = serial;
        row.Porta = machine.port();
        row.Protocolo = "MQTT";
        table.append(row);
    }

    FakeMachine machine;
    TMachineTable table;
    std::unique_ptr<TAgentProcessManager> manager = std::make_unique<TAgentProcessManager>([this] {
        TAgentEnvironment environment;
        environment.broker = {broker.host(), {}, {}, broker.port(), false};
        return environment;
    });
};

}  // namespace

TEST_F(TAgentProcessManagerTest, EmptyTableStartsNothing) {
    manager->start(table);
    EXPECT_EQ(manager->GetAgentsAmount(), 0);
    EXPECT_EQ(manager->GetAgentsAmountOfLotesInMemory(), 0);
    EXPECT_EQ(manager->GetAgentsAmountOfLotesInDisk(), 0);
    EXPECT_EQ(manager->GetAgentsAmountOfLotesInMemoryArray(), 0);
}

TEST_F(TAgentProcessManagerTest, OneAgentPerRowAndARestartReplacesThem) {
    addRow("A", "PM_A");
    addRow("B", "PM_B");
    table.setCurrentRow(1);
    manager->start(table);
    EXPECT_EQ(manager->GetAgentsAmount(), 2);
    manager->start(table);
    EXPECT_EQ(manager->GetAgentsAmount(), 2);
    EXPECT_EQ(table.currentRow(), 1);
    manager->stop("PM_A");
    manager->stop("unknown");
    EXPECT_EQ(manager->GetAgentsAmount(), 1);
    manager->stop();
    EXPECT_EQ(manager->GetAgentsAmount(), 0);
}

TEST_F(TAgentProcessManagerTest, FailingRowStopsTheWalkWithTheTrace) {
    addRow("A", "PM_A");
    addRow("B", "PM_BAD");
    addRow("C", "PM_C");
    TMachineRow bad = table.at(1);
    bad.Endereco = " ";
    table.update(1, bad);
    try {
        manager->start(table);
        FAIL() << "started";
    } catch (const MeltrixError& error) {
        EXPECT_EQ(error.message(),
                  "[TAgentProcessManager.start] Trace: Quantidade de agents: 1 Maquina Serial: 'PM_BAD' Error Message "
                  "The agent needs to known where to connect.");
    }
    EXPECT_EQ(manager->GetAgentsAmount(), 1);
}
