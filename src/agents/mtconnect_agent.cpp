#include "agents/mtconnect_agent.h"

#include "util/timing.h"

TMTConnectAgent::TMTConnectAgent(const TMaquina& maquina, TProcRegLog3 logProc, IAgentPublisher& mqttCli,
                                 TResumoMemCache& resumos, TTagMTConnectDict& TagMTConnectDict)
    : TAgentDataProcess(maquina, logProc, mqttCli, resumos, TagMTConnectDict),
      loopOverCacheTimer(static_cast<int>(Timing::get().dataProcessTick.count()),
                         [this](TTimerThreadEx&) { loopOverCache(); }, &regrasLock(), false, true, logProc) {}

void TMTConnectAgent::start() { loopOverCacheTimer.restart(); }

void TMTConnectAgent::loopOverCache() {
    createResumoIfFlagged();
    resendValues();
}
