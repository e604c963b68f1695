#include "host/agent_process_manager.h"

#include "settings/machine_table.h"
#include "summaries/resumo_mem_cache.h"
#include "util/error.h"
#include "util/text.h"

TAgentProcessManager::TAgentProcessManager(EnvironmentFactory environment) : FEnvironment(std::move(environment)) {}

TAgentProcessManager::~TAgentProcessManager() { stop(); }

// Rows are read by position, so the table's current row never moves.
void TAgentProcessManager::start(TMachineTable& machineList) {
    QString trace = QStringLiteral("1");
    QString serial;
    try {
        stop();
        trace = QStringLiteral("2");
        for (int row = 0; row < machineList.count(); ++row) {
            trace = QStringLiteral("3.1");
            const TMaquina maquina = machineList.at(row).toMaquina();
            serial = maquina.Serial();
            trace = QStringLiteral("Quantidade de agents: %1").arg(agents.size());
            if (agents.count(serial) != 0)
                throw MeltrixError(QStringLiteral("Duplicates not allowed: ") + serial);
            agents.emplace(serial, std::make_unique<TDMAgent>(maquina, FEnvironment()));
            trace = QStringLiteral("3.2");
        }
    } catch (const std::exception& error) {
        throw MeltrixError(QStringLiteral("[TAgentProcessManager.start] Trace: ") + trace +
                           QStringLiteral(" Maquina Serial: ") + text::Quoted(serial) + QStringLiteral(" Error Message ") +
                           ErrorMessage(error));
    }
}

void TAgentProcessManager::stop() { agents.clear(); }

void TAgentProcessManager::stop(const QString& serial) { agents.erase(serial); }

template <typename Counter>
int TAgentProcessManager::sum(Counter counter) const {
    int total = 0;
    for (const auto& [serial, agent] : agents) total += static_cast<int>(counter(agent->resumos()));
    return total;
}

int TAgentProcessManager::GetAgentsAmountOfLotesInMemory() const {
    return sum([](const TResumoMemCache& cache) { return cache.amountOfLotesInMemory(); });
}

int TAgentProcessManager::GetAgentsAmountOfLotesInDisk() const {
    return sum([](const TResumoMemCache& cache) { return cache.amountOfLotesInDisk(); });
}

int TAgentProcessManager::GetAgentsAmountOfLotesInMemoryArray() const {
    return sum([](const TResumoMemCache& cache) { return cache.amountOfLotesInMemoryArray(); });
}

int TAgentProcessManager::GetAgentsAmount() const { return static_cast<int>(agents.size()); }
