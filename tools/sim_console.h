#pragma once

#include "sim_log.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

// What both simulators' command lines share.
namespace sim_console {

// Traffic and notices on standard output (traffic left out when quiet), warnings on
// standard error; every line flushed at once so that a pipe sees it.
TSimLog Log(bool quiet);

// The option's value as a whole number in [lowest, highest]. Throws MeltrixError naming the
// option otherwise.
qint64 Number(const QCommandLineParser& parser, const QCommandLineOption& option, qint64 lowest, qint64 highest);

}  // namespace sim_console
