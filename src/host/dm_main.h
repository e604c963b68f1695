#pragma once

#include "settings/maquina.h"
#include "util/log_types.h"

// The main data module: carries the two sinks of the installation controller (log lines and
// machine status changes) to the parts that are created later. The controller sets both at
// its construction, before any agent exists; agents receive them from the process manager.
class TdmMain {
public:
    TProcRegLog2 FProcRegisterLog2;
    TMaquinaStatusChangedProc FOnChangedStatus;
};
