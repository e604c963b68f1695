#pragma once

#include "host/agent_process_manager.h"
#include "settings/machine_table.h"
#include "util/error.h"

#include <QStringList>

#include <optional>

// A process manager that starts no agent: it records every call ("start:SN1,SN2", "stop",
// "stop:SN1"), can be told to fail a start, and answers the counters it is given.
class RecordingAgentProcessManager : public IAgentProcessManager {
public:
    void start(TMachineTable& machineList) override {
        QStringList serials;
        for (int position = 0; position < machineList.count(); ++position)
            serials << machineList.at(position).Serial;
        calls << QStringLiteral("start:") + serials.join(u',');
        if (startFailure) throw MeltrixError(*startFailure);
        agents = machineList.count();
    }
    void stop() override {
        calls << QStringLiteral("stop");
        agents = 0;
    }
    void stop(const QString& serial) override { calls << QStringLiteral("stop:") + serial; }

    int GetAgentsAmountOfLotesInMemory() const override { return lotesInMemory; }
    int GetAgentsAmountOfLotesInDisk() const override { return lotesInDisk; }
    int GetAgentsAmountOfLotesInMemoryArray() const override { return lotesInMemoryArray; }
    int GetAgentsAmount() const override { return agents; }

    QStringList calls;
    std::optional<QString> startFailure;
    int agents = 0;
    int lotesInMemory = 0;
    int lotesInDisk = 0;
    int lotesInMemoryArray = 0;
};
