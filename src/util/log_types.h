#pragma once

#include <QString>

#include <functional>

// The log sink: serial, message, error ("danger") flag.
using TProcRegLog2 = std::function<void(const QString& serial, const QString& message, bool danger)>;

// A machine agent's log procedure as handed to the parts it owns: message, error flag.
using TProcRegLog3 = std::function<void(const QString& message, bool danger)>;
