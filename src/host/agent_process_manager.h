#pragma once

#include <QString>

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
