#pragma once

#include <QString>
#include <QStringList>

// The program's switches ("CFG", "LOGTELA", "SC"): a switch is present when one of the
// arguments is exactly its text, ignoring letter case ("cfg" counts, "/CFG" does not).
namespace command_line {

bool HasSwitch(const QStringList& arguments, const QString& name);

}  // namespace command_line
