// cloud-sim: the cloud side of the agents on an MQTT broker, for trying the agent without
// the cloud.
#include "cloud-sim/cloud_samples.h"
#include "cloud-sim/cloud_simulator.h"
#include "util/code_page.h"
#include "sim_console.h"
#include "util/error.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <optional>

namespace {

const char* const kDescription =
    "Plays the cloud for Meltrix agents on an MQTT broker.\n"
    "\n"
    "On every connection it subscribes to /IoT/#, /MODELO/# and iot/agents/# and publishes,\n"
    "retained: the rule set of one model on /MODELO/<model>/REGRAS (--rules, or a sample with\n"
    "H1, HORIMETRO, ALARME and SPINDLE that matches shdr-sim's tags), the tag table on\n"
    "/IoT/TABREFERENCIA (--tags, or a sample) and the catalogue lists on /IoT/FABRICANTES,\n"
    "/IoT/LINHAS and /IoT/MODELOS.\n"
    "\n"
    "Then it answers:\n"
    "  /IoT/<serial>/RESUMO          with the batch's SHA-1 on /IoT/<serial>/RESUMOACK\n"
    "  /IoT/<serial>/LAST_VALUES/GET with the last values learned from the summaries (a JSON\n"
    "                                array, empty at first) on /IoT/<serial>/LAST_VALUES\n"
    "  /IoT/GETSERIAL <request>      with a new serial on /IoT/SERIALGERADO/<request>\n"
    "\n"
    "Every message received or published is printed unless --quiet.";

struct TOptionSet {
    QCommandLineOption host{QStringLiteral("host"), QStringLiteral("Broker host (default 127.0.0.1)."),
                            QStringLiteral("host"), QStringLiteral("127.0.0.1")};
    QCommandLineOption port{QStringLiteral("port"), QStringLiteral("Broker port (default 1883)."),
                            QStringLiteral("port"), QStringLiteral("1883")};
    QCommandLineOption user{QStringLiteral("user"), QStringLiteral("Broker user name."), QStringLiteral("user")};
    QCommandLineOption password{QStringLiteral("password"), QStringLiteral("Broker password."),
                                QStringLiteral("password")};
    QCommandLineOption model{QStringLiteral("model"), QStringLiteral("Model whose rule set is published (default 1)."),
                             QStringLiteral("id"), QStringLiteral("1")};
    QCommandLineOption rules{QStringLiteral("rules"), QStringLiteral("Rule set document to publish instead of the sample."),
                             QStringLiteral("file")};
    QCommandLineOption tags{QStringLiteral("tags"), QStringLiteral("Tag table document to publish instead of the sample."),
                            QStringLiteral("file")};
    QCommandLineOption noAck{QStringLiteral("no-ack"), QStringLiteral("Never acknowledge a summary batch.")};
    QCommandLineOption ackDelay{QStringLiteral("ack-delay-ms"),
                                QStringLiteral("Wait this long before acknowledging a batch (default 0)."),
                                QStringLiteral("ms"), QStringLiteral("0")};
    QCommandLineOption noLastValues{QStringLiteral("no-last-values"),
                                    QStringLiteral("Leave LAST_VALUES/GET unanswered.")};
    QCommandLineOption summariesDir{QStringLiteral("summaries-dir"),
                                    QStringLiteral("Append every summary batch received to <dir>/<serial>.txt."),
                                    QStringLiteral("dir")};
    QCommandLineOption serialPrefix{QStringLiteral("serial-prefix"),
                                    QStringLiteral("Beginning of the serials handed out (default SIM)."),
                                    QStringLiteral("text"), QStringLiteral("SIM")};
    QCommandLineOption quiet{QStringLiteral("quiet"), QStringLiteral("Do not print the messages.")};

    QList<QCommandLineOption> all() const {
        return {host, port, user, password, model, rules, tags, noAck, ackDelay, noLastValues, summariesDir,
                serialPrefix, quiet};
    }
};

QString DocumentFrom(const QCommandLineParser& parser, const QCommandLineOption& option, QString sample) {
    return parser.isSet(option) ? code_page::ReadTextFile(parser.value(option)) : sample;
}

TCloudSimOptions OptionsFrom(const QCommandLineParser& parser, const TOptionSet& set) {
    TCloudSimOptions options;
    options.connection.host = parser.value(set.host);
    options.connection.port = static_cast<quint16>(sim_console::Number(parser, set.port, 1, 65535));
    options.connection.user = parser.value(set.user);
    options.connection.password = parser.value(set.password);
    options.connection.clientIdPrefix = QStringLiteral("cloudsim");
    options.model = parser.value(set.model);
    options.regras = DocumentFrom(parser, set.rules, cloud_samples::Regras());
    options.tabReferencia = DocumentFrom(parser, set.tags, cloud_samples::TabReferencia());
    options.fabricantes = cloud_samples::Fabricantes();
    options.linhas = cloud_samples::Linhas();
    options.modelos = cloud_samples::Modelos();
    options.acknowledge = !parser.isSet(set.noAck);
    options.ackDelay = std::chrono::milliseconds(sim_console::Number(parser, set.ackDelay, 0, 3'600'000));
    options.answerLastValues = !parser.isSet(set.noLastValues);
    options.summariesFolder = parser.value(set.summariesDir);
    options.serialPrefix = parser.value(set.serialPrefix);
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cloud-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    const TOptionSet set;
    parser.addOptions(set.all());
    parser.process(application);

    QTextStream err(stderr);
    const TSimLog log = sim_console::Log(parser.isSet(set.quiet));

    std::optional<TCloudSimulator> simulator;
    try {
        const TCloudSimOptions options = OptionsFrom(parser, set);
        // Published anyway: an agent's handling of a bad document is worth trying too.
        if (const QString problem = TCloudSimulator::RegrasProblem(options.regras); !problem.isEmpty())
            log(TSimLogKind::Warning, QStringLiteral("agents will reject the rule set: ") + problem);
        if (const QString problem = TCloudSimulator::TabReferenciaProblem(options.tabReferencia); !problem.isEmpty())
            log(TSimLogKind::Warning, QStringLiteral("agents will reject the tag table: ") + problem);
        simulator.emplace(options, log);
    } catch (const MeltrixError& error) {
        err << "cloud-sim: " << error.message() << Qt::endl;
        return 2;
    }
    simulator->start();
    return QCoreApplication::exec();
}
