#pragma once

#include "rules/regra.h"
#include "support/qt_printers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// A complete rule object with every required key; tests override what they exercise.
inline QJsonObject RuleObject(const QString& nome, QJsonObject overrides = {}) {
    QJsonObject object{
        {"Nome", nome},           {"EnvioValoresRepetidos", false}, {"TagEspecial", false},
        {"Ativo", true},          {"IntervaloMinimo", 0},           {"IntervaloMaximo", 0},
        {"Script", ""},           {"Protocolo", ""},                {"ProtocoloParametro", ""},
        {"IdTagReferencia", ""},  {"GerarNovoRegistro", false},     {"Gatilhos", QJsonArray{}},
    };
    for (auto it = overrides.begin(); it != overrides.end(); ++it) object[it.key()] = it.value();
    return object;
}

inline void PrintTo(const TRegraPublishInstruction& instruction, std::ostream* out) {
    *out << instruction.topic.toStdString() << " <- " << instruction.payload.toStdString();
}

// A rule-set document from rule objects.
inline QString RulesDocument(const QJsonArray& rules) {
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"array", rules}}).toJson(QJsonDocument::Compact));
}

inline QJsonArray Triggers(std::initializer_list<const char*> names) {
    QJsonArray gatilhos;
    for (const char* name : names) gatilhos.append(QJsonObject{{"Nome", name}});
    return gatilhos;
}
