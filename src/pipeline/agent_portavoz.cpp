#include "pipeline/agent_portavoz.h"

#include "pipeline/agent_data_process.h"
#include "settings/maquina.h"
#include "util/text.h"
#include "util/topics.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// A JSON string literal with the standard escapes.
QString JsonString(const QString& text) {
    const QString array = QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
    return array.mid(1, array.size() - 2);
}

// A JSON object whose members keep the given order (the cloud reads them in this order).
QString OrderedObject(std::initializer_list<std::pair<const char*, QString>> members) {
    QStringList parts;
    for (const auto& [name, value] : members) parts << u'"' + QLatin1String(name) + QStringLiteral("\":") + JsonString(value);
    return u'{' + parts.join(u',') + u'}';
}

}  // namespace

TAgentPortavoz::TAgentPortavoz(IAgentPublisher& mqttCli, const TMaquina& maquina, TAgentDataProcess& dataProcess,
                               const TTagMTConnectDict& TagMTConnectDict, TProcRegLog3 logProc)
    : mqttCli(mqttCli),
      maquina(maquina),
      dataProcess(dataProcess),
      FTagMTConnectDict(TagMTConnectDict),
      FLog(std::move(logProc)) {}

void TAgentPortavoz::publish(const QString& topic, const QString& payload) {
    mqttCli.Publish(topic, payload, TmqttQoS::AtMostOnce, false);
}

void TAgentPortavoz::talkAboutRegras(const QString& key) {
    const QString trimmed = text::Trim(key);
    std::lock_guard lock(dataProcess.regrasLock());
    if (trimmed.isEmpty()) {
        publish(topics::Regras(maquina.Serial()), dataProcess.regras().json());
        return;
    }
    if (const TRegra* regra = dataProcess.regras().find(trimmed.toUpper()))
        publish(topics::Regras(maquina.Serial()), regra->toJSON());
}

void TAgentPortavoz::talkAboutRegrasChangeLog(const QString& key) {
    const QString nome = text::Trim(key).toUpper();
    if (nome.isEmpty()) return;
    std::lock_guard lock(dataProcess.regrasLock());
    if (const TRegra* regra = dataProcess.regras().find(nome))
        publish(topics::Response(maquina.Serial()), regra->getChangeHistory());
}

void TAgentPortavoz::talkAboutValues(const QString& key) {
    const QString nome = text::Trim(key).toUpper();
    std::lock_guard lock(dataProcess.regrasLock());
    if (nome.isEmpty()) {
        dataProcess.regras().forEach([&](TRegra& regra) {
            TAgentDataProcess::publishRegraUnconstrained(regra, mqttCli, FTagMTConnectDict);
        });
        PublishCurrentStateAsJson();
        return;
    }
    if (const TRegra* regra = dataProcess.regras().find(nome))
        TAgentDataProcess::publishRegraUnconstrained(*regra, mqttCli, FTagMTConnectDict);
}

void TAgentPortavoz::PublishCurrentStateAsJson() {
    std::lock_guard lock(dataProcess.regrasLock());
    QStringList elements;
    QStringList missing;
    TRegras::forEach(dataProcess.regras().withRefList(), [&](TRegra& regra) {
        const auto tag = FTagMTConnectDict.constFind(regra.IdTagReferencia);
        if (tag == FTagMTConnectDict.constEnd()) {
            missing << regra.IdTagReferencia;
            return;
        }
        elements << OrderedObject({{"serial", maquina.Serial()},
                                   {"tagid", regra.IdTagReferencia},
                                   {"name", tag->Name},
                                   {"description", tag->Description},
                                   {"unit", tag->Unit},
                                   {"value", regra.Valor().atual()}});
    });
    if (!missing.isEmpty()) {
        FLog(QStringLiteral("[TAgentPortavoz.PublishCurrentStateAsJson] Tags sem entrada na tabela de referência: ") +
                 missing.join(QStringLiteral(", ")) + QStringLiteral(". JSON não publicado."),
             true);
        return;
    }
    publish(topics::Json(maquina.Serial()), u'[' + elements.join(u',') + u']');
}
