#pragma once

#include "pipeline/agent_data_process.h"
#include "util/timer_thread.h"

// The data process of machines whose values arrive by themselves (MTConnect adapters and
// MQTT machines): once started, a one-second tick writes a pending summary and runs the
// re-send pass, holding the rules mutex.
class TMTConnectAgent : public TAgentDataProcess {
public:
    TMTConnectAgent(const TMaquina& maquina, TProcRegLog3 logProc, IAgentPublisher& mqttCli,
                    TResumoMemCache& resumos, TTagMTConnectDict& TagMTConnectDict);

    void start() override;

private:
    void loopOverCache();

    // Destroyed before the base, so a tick in progress ends before the rules it uses.
    TTimerThreadEx loopOverCacheTimer;
};
