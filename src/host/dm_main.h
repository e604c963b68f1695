#pragma once

#include "util/log_types.h"

#include <functional>

class TMaquina;

// The status sink: a machine agent reports a changed status of its machine record.
using TMaquinaStatusChangedProc = std::function<void(const TMaquina& machine)>;

// The main data module: carries the two sinks of the installation controller (log lines and
// machine status changes) to the parts that are created later. The controller sets both at
// its construction, before any agent exists; agents receive them from the process manager.
class TdmMain {
public:
    TProcRegLog2 FProcRegisterLog2;
    TMaquinaStatusChangedProc FOnChangedStatus;
};
