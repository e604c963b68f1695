#pragma once

#include <QString>

#include <functional>

// Where the simulators report: traffic (what they receive and send, one line each),
// notices (listening, connections) and warnings.
enum class TSimLogKind { Traffic, Notice, Warning };
using TSimLog = std::function<void(TSimLogKind kind, const QString& line)>;
