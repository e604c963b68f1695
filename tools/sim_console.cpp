#include "sim_console.h"

#include "util/error.h"

#include <QTextStream>

namespace sim_console {

TSimLog Log(bool quiet) {
    return [quiet](TSimLogKind kind, const QString& line) {
        static QTextStream out(stdout);
        static QTextStream err(stderr);
        if (kind == TSimLogKind::Warning)
            err << "warning: " << line << Qt::endl;
        else if (kind == TSimLogKind::Notice || !quiet)
            out << line << Qt::endl;
    };
}

qint64 Number(const QCommandLineParser& parser, const QCommandLineOption& option, qint64 lowest, qint64 highest) {
    bool ok = false;
    const qint64 value = parser.value(option).toLongLong(&ok);
    if (!ok || value < lowest || value > highest)
        throw MeltrixError(QStringLiteral("--%1 must be a whole number from %2 to %3")
                               .arg(option.names().first())
                               .arg(lowest)
                               .arg(highest));
    return value;
}

}  // namespace sim_console
