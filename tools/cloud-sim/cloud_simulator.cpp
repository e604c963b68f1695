#include "cloud-sim/cloud_simulator.h"

#include "rules/regras.h"
#include "util/error.h"
#include "util/hex_ids.h"
#include "util/text.h"
#include "util/topics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimer>

#include <optional>

namespace {

using TopicOf = QString (*)(const QString&);

constexpr int kSerialDigits = 10;

// The topic with a placeholder where the parameter goes, split around it. Deriving patterns
// from the topic functions keeps the topic tree spelled in one place.
struct TTopicPattern {
    QString prefix;
    QString suffix;

    explicit TTopicPattern(TopicOf topicOf) {
        static const QString placeholder = QStringLiteral("\x01");
        const QString topic = topicOf(placeholder);
        const qsizetype at = topic.indexOf(placeholder);
        prefix = topic.left(at);
        suffix = topic.mid(at + placeholder.size());
    }

    // The parameter of a topic of this pattern: the serial of /IoT/{serial}/RESUMO.
    std::optional<QString> parameterOf(const QString& topic) const {
        if (topic.size() <= prefix.size() + suffix.size() || !topic.startsWith(prefix) || !topic.endsWith(suffix))
            return std::nullopt;
        return topic.mid(prefix.size(), topic.size() - prefix.size() - suffix.size());
    }

    // Everything below the pattern's fixed beginning: "/IoT/#" for /IoT/{serial}/RESUMO.
    QString subtreeFilter() const { return prefix + u'#'; }
};

const TTopicPattern& ResumoPattern() {
    static const TTopicPattern pattern(&topics::Resumo);
    return pattern;
}

const TTopicPattern& LastValuesGetPattern() {
    static const TTopicPattern pattern(&topics::LastValuesGet);
    return pattern;
}

// The machines' topics, the rule sets of every model and the installations' presence.
QStringList SubscriptionFilters() {
    return {ResumoPattern().subtreeFilter(), TTopicPattern(&topics::ModeloRegras).subtreeFilter(),
            TTopicPattern(&topics::AgentPresence).subtreeFilter()};
}

QString Indented(const QString& payload) {
    QStringList lines = payload.split(QStringLiteral("\n"));
    for (QString& line : lines) {
        if (line.endsWith(u'\r')) line.chop(1);
        line.prepend(QStringLiteral("    "));
    }
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty()) lines.removeLast();
    return lines.join(u'\n');
}

}  // namespace

TCloudSimulator::TCloudSimulator(TCloudSimOptions options, TSimLog log, QObject* parent)
    : QObject(parent), FOptions(std::move(options)), FLog(std::move(log)) {
    if (!FOptions.summariesFolder.isEmpty()) FArchive.emplace(FOptions.summariesFolder);
    connect(&FClient, &TMqttClient::connected, this, &TCloudSimulator::onConnected);
    connect(&FClient, &TMqttClient::messageReceived, this, &TCloudSimulator::onMessage);
    connect(&FClient, &TMqttClient::disconnected, this, [this] {
        FReady = false;
        FLog(TSimLogKind::Warning, QStringLiteral("connection to the broker lost; reconnecting"));
    });
    connect(&FClient, &TMqttClient::error, this,
            [this](const QString& text) { FLog(TSimLogKind::Warning, QStringLiteral("broker: ") + text); });
}

void TCloudSimulator::start() {
    FLog(TSimLogKind::Notice, QStringLiteral("connecting to %1:%2").arg(FOptions.connection.host).arg(FOptions.connection.port));
    FClient.Connect(FOptions.connection);
}

void TCloudSimulator::stop() {
    FReady = false;
    FClient.Disconnect();
}

QString TCloudSimulator::Sha1Hex(const QString& text) {
    return hex_ids::Sha1(text);
}

QString TCloudSimulator::RegrasProblem(const QString& document) {
    if (text::Trim(document).isEmpty()) return QStringLiteral("the rule set is empty");
    try {
        TRegras().fromJSON(document);
    } catch (const MeltrixError& error) {
        return error.message();
    }
    return {};
}

QString TCloudSimulator::TabReferenciaProblem(const QString& document) {
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(document.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) return parseError.errorString();
    if (!json.isArray()) return QStringLiteral("the tag table is not a JSON array");
    QSet<QString> seen;
    for (const QJsonValue& element : json.array()) {
        const QJsonObject tag = element.toObject();
        for (const char* key : {"tag", "name", "description", "unit"})
            if (!tag.contains(QLatin1String(key)))
                return QStringLiteral("an element lacks \"%1\"").arg(QLatin1String(key));
        const QString id = tag.value(QLatin1String("tag")).toVariant().toString();
        if (seen.contains(id)) return QStringLiteral("the tag \"%1\" is listed twice").arg(id);
        seen.insert(id);
    }
    return {};
}

void TCloudSimulator::onConnected() {
    FLog(TSimLogKind::Notice, QStringLiteral("connected to %1:%2").arg(FOptions.connection.host).arg(FOptions.connection.port));
    for (const QString& filter : SubscriptionFilters()) FClient.Subscribe(filter);
    publish(topics::ModeloRegras(FOptions.model), FOptions.regras, true);
    publish(topics::TabReferencia(), FOptions.tabReferencia, true);
    publish(topics::Fabricantes(), FOptions.fabricantes, true);
    publish(topics::Linhas(), FOptions.linhas, true);
    publish(topics::Modelos(), FOptions.modelos, true);
    FReady = true;
    emit ready();
}

void TCloudSimulator::onMessage(const QString& topic, const QString& payload) {
    report(QStringLiteral("<-"), topic, payload);
    if (topic == topics::GetSerial()) {
        answerSerialRequest(text::Trim(payload));
    } else if (const auto serial = ResumoPattern().parameterOf(topic)) {
        onResumo(*serial, payload);
    } else if (const auto asking = LastValuesGetPattern().parameterOf(topic)) {
        if (FOptions.answerLastValues) publish(topics::LastValues(*asking), FLastValues.json(*asking));
    }
}

void TCloudSimulator::onResumo(const QString& serial, const QString& batch) {
    FLastValues.learn(serial, batch);
    if (FArchive) {
        try {
            FArchive->append(serial, batch);
        } catch (const MeltrixError& error) {
            FLog(TSimLogKind::Warning, error.message());
        }
    }
    if (FOptions.acknowledge) acknowledge(serial, batch);
}

void TCloudSimulator::acknowledge(const QString& serial, const QString& batch) {
    const QString digest = Sha1Hex(batch);
    if (FOptions.ackDelay.count() <= 0) {
        publish(topics::ResumoAck(serial), digest);
        return;
    }
    QTimer::singleShot(FOptions.ackDelay, this,
                       [this, serial, digest] { publish(topics::ResumoAck(serial), digest); });
}

void TCloudSimulator::answerSerialRequest(const QString& requestId) {
    if (requestId.isEmpty()) {
        FLog(TSimLogKind::Warning, QStringLiteral("a serial request without a request id was ignored"));
        return;
    }
    publish(topics::SerialGerado(requestId), newSerial());
}

QString TCloudSimulator::newSerial() const {
    return FOptions.serialPrefix + hex_ids::NewGuid().left(kSerialDigits);
}

void TCloudSimulator::publish(const QString& topic, const QString& payload, bool retain) {
    if (FClient.Publish(topic, payload, TmqttQoS::AtMostOnce, retain) == 0) {
        FLog(TSimLogKind::Warning, QStringLiteral("not published (no connection): ") + topic);
        return;
    }
    report(retain ? QStringLiteral("-> (retained)") : QStringLiteral("->"), topic, payload);
}

void TCloudSimulator::report(const QString& direction, const QString& topic, const QString& payload) const {
    if (!payload.contains(u'\n'))
        FLog(TSimLogKind::Traffic, direction + u' ' + topic + u' ' + payload);
    else
        FLog(TSimLogKind::Traffic, direction + u' ' + topic + u'\n' + Indented(payload));
}
