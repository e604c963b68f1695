// The meltrix executable. Without "CFG" it is the service: headless, run by systemd (or by
// hand), it starts the machine agents once the installation's broker connection opens and
// stops them, persisting their summaries, on SIGTERM or SIGINT.
#include "host/agent_process_manager.h"
#include "host/dm_main.h"
#include "host/installation_controller.h"
#include "host/termination_signals.h"
#include "messaging/client_name.h"
#include "util/command_line.h"
#include "util/error.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

int RunService(QCoreApplication& application, bool plainRequests) {
    TdmMain dmMain;
    TInstallationController* controller = nullptr;
    // Each agent receives the sinks, the broker settings (read once per start) and the switches.
    TAgentProcessManager agents([&] {
        TAgentEnvironment environment;
        environment.log = dmMain.FProcRegisterLog2;
        environment.statusChanged = dmMain.FOnChangedStatus;
        environment.clientName = client_name::Current;
        environment.broker = controller->Settings().Broker();
        environment.plainRequests = plainRequests;
        return environment;
    });
    TInstallationController installation(agents, dmMain, TControllerOptions{});
    controller = &installation;

    TTerminationSignals termination;
    QObject::connect(&termination, &TTerminationSignals::terminationRequested, &application, [&](int) {
        installation.ServiceStop();
        // The agents queued their last log lines while they shut down; the loop would end
        // before writing them.
        QCoreApplication::sendPostedEvents();
        application.quit();
    });
    installation.ServiceStart();
    return application.exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Without TZ, glibc looks at /etc/localtime again for every local time the agents take
    // (several per tag value). Reading it once is the usual daemon behaviour: a change of
    // the system's zone applies at the next start.
    if (!qEnvironmentVariableIsSet("TZ")) qputenv("TZ", ":/etc/localtime");
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (command_line::HasSwitch(arguments, QStringLiteral("CFG"))) {
        std::fputs("meltrix: the configuration window (CFG) is not built yet; run without CFG for the "
                   "service, and edit meltrix.cfg and meltrix.ini by hand.\n",
                   stderr);
        return 2;
    }
    try {
        return RunService(application, command_line::HasSwitch(arguments, QStringLiteral("SC")));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "meltrix: %s\n", qUtf8Printable(ErrorMessage(error)));
        return 1;
    }
}
