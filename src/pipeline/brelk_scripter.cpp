#include "pipeline/brelk_scripter.h"

#include "messaging/payloads.h"
#include "pipeline/script/brelk_functions.h"
#include "rules/regras.h"
#include "settings/maquina.h"
#include "util/agent_publisher.h"
#include "util/text.h"
#include "util/text_lines.h"
#include "util/topics.h"

TBrelkScripter::TBrelkScripter() { RegisterBrelkFunctions(*this); }

QString TBrelkScripter::scriptErrorReport(const QString& message, const TMaquina& maquina, const TRegra& regra,
                                          const TRegras& regras) {
    QStringList lines = {
        QStringLiteral("SERIAL: ") + maquina.Serial(),
        QStringLiteral("PROTOCOLO: ") + maquina.Protocolo(),
        QStringLiteral("VERSÃO MELTRIX: ") + payloads::Versao(),
        QString(),
        QStringLiteral("ERRO: ") + message,
        QString(),
        QStringLiteral("REGRA: ") + regra.Nome(),
        QStringLiteral("VALOR: ") + regra.Valor().atual(),
        QString(),
        QStringLiteral("INICIO SCRIPT:"),
    };
    lines += text_lines::Split(text::Trim(regra.Script));
    lines += {QStringLiteral("TERMINO SCRIPT"), QString(), QStringLiteral("VARIAVEIS/VALOR:")};
    regras.forEach([&](TRegra& each) { lines += each.Nome() + QStringLiteral(" = ") + each.Valor().atualBruto(); });
    return text_lines::Join(lines);
}

void TBrelkScripter::publishScriptError(const QString& message, const TMaquina& maquina, const TRegra& regra,
                                        const TRegras& regras, IAgentPublisher& mqttCli) {
    mqttCli.Publish(topics::Erro(maquina.Serial()), scriptErrorReport(message, maquina, regra, regras),
                    TmqttQoS::AtMostOnce, false);
}
