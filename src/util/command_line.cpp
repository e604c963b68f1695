#include "util/command_line.h"

namespace command_line {

bool HasSwitch(const QStringList& arguments, const QString& name) {
    // The first argument is the program itself.
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (arguments.at(i).compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

}  // namespace command_line
