#pragma once

#include "rules/tag_mtconnect.h"
#include "util/agent_publisher.h"
#include "util/log_types.h"

#include <QString>

class TAgentDataProcess;
class TMaquina;

// The spokesman of one machine: answers the cloud's questions about the rule definitions
// (GET_REGRA), a rule's change history (CHANGELOG) and the current values (GET), reading the
// data process's rule set under its rules mutex. Used on the main thread.
class TAgentPortavoz {
public:
    TAgentPortavoz(IAgentPublisher& mqttCli, const TMaquina& maquina, TAgentDataProcess& dataProcess,
                   const TTagMTConnectDict& TagMTConnectDict, TProcRegLog3 logProc);

    void talkAboutRegras(const QString& key);
    void talkAboutRegrasChangeLog(const QString& key);
    void talkAboutValues(const QString& key);

    // The state of every referenced rule as one JSON array; published only when every
    // referenced rule has its tag-table entry, otherwise the missing identifiers are logged.
    void PublishCurrentStateAsJson();

private:
    void publish(const QString& topic, const QString& payload);

    IAgentPublisher& mqttCli;
    const TMaquina& maquina;
    TAgentDataProcess& dataProcess;
    const TTagMTConnectDict& FTagMTConnectDict;
    TProcRegLog3 FLog;
};
