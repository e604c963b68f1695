// shdr-sim: a machine tool on a TCP port, for trying the agent without a machine.
#include "shdr-sim/shdr_simulator.h"
#include "sim_console.h"
#include "util/error.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace {

const char* const kDescription =
    "Simulates a machine tool on a TCP port.\n"
    "\n"
    "--mode mtconnect (default): an MTConnect adapter. Every interval it sends SHDR lines\n"
    "  \"<UTC time>|tag|value|...\" (CR LF) with the values that changed to every client; a new\n"
    "  client first gets every value. Generated tags (names configurable): execution\n"
    "  (ACTIVE/STOPPED), H1 (1/0), SPINDLE (rpm), HORIMETRO (hours, grows while active) and\n"
    "  ALARME (an alarm text now and then, on a line of its own; empty when cleared).\n"
    "  With --file the file's lines are sent as they are, one per interval, looping.\n"
    "\n"
    "--mode brelk: a machine of the maker's protocol. It answers every poll request\n"
    "  (\"Brelk<time>|<cipher of GET|key|param...>\", or \"|key|param...\" plain) with one\n"
    "  enciphered line whose plain text is \"<time>|key|value|key|value...\" (plain with\n"
    "  --plain). The keys above give their values; any other key gets a number of its own.\n"
    "\n"
    "Both modes accept the daily handshake token (checked against today's) and the\n"
    "\"Hello world!\" keep-alives. Received and sent messages are printed unless --quiet.";

struct TOptionSet {
    QCommandLineOption mode{QStringLiteral("mode"), QStringLiteral("mtconnect or brelk (default mtconnect)."),
                            QStringLiteral("mode"), QStringLiteral("mtconnect")};
    QCommandLineOption address{QStringLiteral("address"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
                               QStringLiteral("address"), QStringLiteral("127.0.0.1")};
    QCommandLineOption port{QStringLiteral("port"), QStringLiteral("Port to listen on (default 7878)."),
                            QStringLiteral("port"), QStringLiteral("7878")};
    QCommandLineOption file{QStringLiteral("file"), QStringLiteral("mtconnect: replay the lines of this file."),
                            QStringLiteral("file")};
    QCommandLineOption interval{QStringLiteral("interval-ms"),
                                QStringLiteral("Length of one tick in milliseconds (default 1000)."),
                                QStringLiteral("ms"), QStringLiteral("1000")};
    QCommandLineOption plain{QStringLiteral("plain"), QStringLiteral("brelk: answer with plain records, not enciphered.")};
    QCommandLineOption quiet{QStringLiteral("quiet"), QStringLiteral("Do not print received and sent messages.")};
    QCommandLineOption seed{QStringLiteral("seed"), QStringLiteral("Seed of the value noise (default: random)."),
                            QStringLiteral("n")};
    QCommandLineOption stateTicks{QStringLiteral("state-ticks"),
                                  QStringLiteral("Ticks between active and stopped (default 10; 0: always active)."),
                                  QStringLiteral("n"), QStringLiteral("10")};
    QCommandLineOption alarmEvery{QStringLiteral("alarm-every"),
                                  QStringLiteral("Raise an alarm every n ticks, cleared up to 5 ticks later (default 30; 0: never)."),
                                  QStringLiteral("n"), QStringLiteral("30")};
    QCommandLineOption executionTag{QStringLiteral("execution-tag"), QStringLiteral("Tag of the execution state."),
                                    QStringLiteral("tag"), QStringLiteral("execution")};
    QCommandLineOption stateTag{QStringLiteral("state-tag"), QStringLiteral("Tag of the 1/0 machine state."),
                                QStringLiteral("tag"), QStringLiteral("H1")};
    QCommandLineOption spindleTag{QStringLiteral("spindle-tag"), QStringLiteral("Tag of the spindle speed."),
                                  QStringLiteral("tag"), QStringLiteral("SPINDLE")};
    QCommandLineOption hourMeterTag{QStringLiteral("hour-meter-tag"), QStringLiteral("Tag of the hour meter."),
                                    QStringLiteral("tag"), QStringLiteral("HORIMETRO")};
    QCommandLineOption alarmTag{QStringLiteral("alarm-tag"), QStringLiteral("Tag of the alarms."),
                                QStringLiteral("tag"), QStringLiteral("ALARME")};

    QList<QCommandLineOption> all() const {
        return {mode,       address,    port,         file,     interval,   plain,       quiet,   seed,
                stateTicks, alarmEvery, executionTag, stateTag, spindleTag, hourMeterTag, alarmTag};
    }
};

TShdrSimOptions OptionsFrom(const QCommandLineParser& parser, const TOptionSet& set) {
    TShdrSimOptions options;
    const QString mode = parser.value(set.mode).toLower();
    if (mode == QStringLiteral("brelk"))
        options.mode = TShdrMode::Brelk;
    else if (mode != QStringLiteral("mtconnect"))
        throw MeltrixError(QStringLiteral("--mode must be mtconnect or brelk"));
    if (!options.address.setAddress(parser.value(set.address)))
        throw MeltrixError(QStringLiteral("--address must be an IP address"));
    options.port = static_cast<quint16>(sim_console::Number(parser, set.port, 0, 65535));
    options.replayFile = parser.value(set.file);
    if (options.mode == TShdrMode::Brelk && !options.replayFile.isEmpty())
        throw MeltrixError(QStringLiteral("--file only applies to --mode mtconnect"));
    options.interval = std::chrono::milliseconds(sim_console::Number(parser, set.interval, 1, 3'600'000));
    options.plain = parser.isSet(set.plain);
    options.tags = {parser.value(set.executionTag), parser.value(set.stateTag), parser.value(set.spindleTag),
                    parser.value(set.hourMeterTag), parser.value(set.alarmTag)};
    options.behaviour.stateTicks = static_cast<int>(sim_console::Number(parser, set.stateTicks, 0, 1'000'000));
    options.behaviour.alarmEveryTicks = static_cast<int>(sim_console::Number(parser, set.alarmEvery, 0, 1'000'000));
    options.behaviour.tickLength = options.interval;
    options.behaviour.seed = parser.isSet(set.seed)
                                 ? static_cast<quint32>(sim_console::Number(parser, set.seed, 0, 0xFFFFFFFF))
                                 : QRandomGenerator::global()->generate();
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("shdr-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    const TOptionSet set;
    parser.addOptions(set.all());
    parser.process(application);

    QTextStream err(stderr);
    const TSimLog log = sim_console::Log(parser.isSet(set.quiet));

    std::optional<TShdrSimulator> simulator;
    try {
        simulator.emplace(OptionsFrom(parser, set), log);
        simulator->start();
    } catch (const MeltrixError& error) {
        err << "shdr-sim: " << error.message() << Qt::endl;
        return 2;
    }
    return QCoreApplication::exec();
}
