#pragma once

#include "pipeline/agent_data_process.h"
#include "util/timer_thread.h"

class TAgentSocket;

// The data process of machines that send nothing unless asked: once started, a one-second
// tick asks the machine, in one request line, for every rule whose poll interval has passed,
// then runs the re-send pass. The answers come back through the agent's reception path.
class TBrelkProtocolAgent : public TAgentDataProcess {
public:
    // plainRequests: the requests go out without "GET", time stamp and cipher.
    TBrelkProtocolAgent(const TMaquina& maquina, TProcRegLog3 logProc, IAgentPublisher& mqttCli,
                        TResumoMemCache& resumos, TTagMTConnectDict& TagMTConnectDict, bool plainRequests);
    TBrelkProtocolAgent& SetSocket(TAgentSocket* socket);
    void start() override;

    // The request for the rules due now, marking them as asked; empty when none is due.
    QString buildRequest();

protected:
    void afterLines() override;

private:
    void fetchSocket();

    QDateTime lastCreatedSummary;
    TAgentSocket* FAgentSocket = nullptr;
    bool FPlainRequests;
    // Destroyed before the base, so a poll in progress ends before the rules it uses.
    TTimerThreadEx fetchSocketTimer;
};
