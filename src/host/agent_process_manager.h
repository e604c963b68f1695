#pragma once

#include "agents/dm_agent.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>

class TMachineTable;

// Holds every running machine agent, one per serial: starts them all from the machine
// table, stops them, and sums their summary-cache counters. Used on the main thread.
class IAgentProcessManager {
public:
    virtual ~IAgentProcessManager() = default;

    // Replaces every agent by one agent per table row, in row order. Throws MeltrixError
    // "[TAgentProcessManager.start] Trace: ..." at the first row that fails; the agents of
    // the earlier rows keep running. The table's current row is kept.
    virtual void start(TMachineTable& machineList) = 0;
    // Shuts every agent down (each persists its summaries) and forgets it.
    virtual void stop() = 0;
    virtual void stop(const QString& serial) = 0;

    virtual int GetAgentsAmountOfLotesInMemory() const = 0;
    virtual int GetAgentsAmountOfLotesInDisk() const = 0;
    virtual int GetAgentsAmountOfLotesInMemoryArray() const = 0;
    virtual int GetAgentsAmount() const = 0;
};

// The process's agent manager: one TDMAgent per machine serial.
class TAgentProcessManager : public IAgentProcessManager {
public:
    // Builds the environment each new agent receives (sinks, broker settings, switches).
    using EnvironmentFactory = std::function<TAgentEnvironment()>;

    explicit TAgentProcessManager(EnvironmentFactory environment);
    ~TAgentProcessManager() override;

    void start(TMachineTable& machineList) override;
    void stop() override;
    void stop(const QString& serial) override;

    int GetAgentsAmountOfLotesInMemory() const override;
    int GetAgentsAmountOfLotesInDisk() const override;
    int GetAgentsAmountOfLotesInMemoryArray() const override;
    int GetAgentsAmount() const override;

private:
    template <typename Counter>
    int sum(Counter counter) const;

    EnvironmentFactory FEnvironment;
    std::map<QString, std::unique_ptr<TDMAgent>> agents;
};
