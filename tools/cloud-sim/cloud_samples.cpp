#include "cloud-sim/cloud_samples.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cloud_samples {

namespace {

const QString BrelkProtocol = QStringLiteral("BrelkProtocol");

struct TSampleRule {
    QString nome;
    QString idTagReferencia;
    QString protocoloParametro;
    bool gerarNovoRegistro = false;
    int intervaloMinimo = 0;
    int intervaloMaximo = 0;
    QString script{};
    QStringList gatilhos{};
};

QJsonObject RuleObject(const TSampleRule& rule) {
    QJsonArray gatilhos;
    for (const QString& nome : rule.gatilhos) gatilhos.append(QJsonObject{{QStringLiteral("Nome"), nome}});
    return {
        {QStringLiteral("Nome"), rule.nome},
        {QStringLiteral("EnvioValoresRepetidos"), false},
        {QStringLiteral("TagEspecial"), false},
        {QStringLiteral("Ativo"), true},
        {QStringLiteral("IntervaloMinimo"), rule.intervaloMinimo},
        {QStringLiteral("IntervaloMaximo"), rule.intervaloMaximo},
        {QStringLiteral("Script"), rule.script},
        {QStringLiteral("Protocolo"), BrelkProtocol},
        {QStringLiteral("ProtocoloParametro"), rule.protocoloParametro},
        {QStringLiteral("IdTagReferencia"), rule.idTagReferencia},
        {QStringLiteral("GerarNovoRegistro"), rule.gerarNovoRegistro},
        {QStringLiteral("Gatilhos"), gatilhos},
    };
}

// Run again when H1 changes, with the spindle's own last value; before the spindle has
// reported anything it stays empty instead of showing a speed of 0.
const char* const kSpindleScript =
    "var rpm: double;\n"
    "begin\n"
    "  if StringVazia(_VALORATUAL) then\n"
    "    Result := ''\n"
    "  else begin\n"
    "    rpm := StringToDouble(_VALORATUAL, 0);\n"
    "    if H1 <> '1' then rpm := 0;\n"
    "    Result := Round(rpm);\n"
    "  end;\n"
    "end.";

QJsonObject Tag(const QString& tag, const QString& name, const QString& description, const QString& unit) {
    return {{QStringLiteral("tag"), tag},
            {QStringLiteral("name"), name},
            {QStringLiteral("description"), description},
            {QStringLiteral("unit"), unit}};
}

}  // namespace

QString Regras() {
    const QList<TSampleRule> rules = {
        {QStringLiteral("H1"), QStringLiteral("1"), QStringLiteral("STATE"), true, 1000, 60000},
        {QStringLiteral("HORIMETRO"), QStringLiteral("2"), QStringLiteral("HOURS"), false, 5000, 60000},
        {QStringLiteral("ALARME"), QStringLiteral("3"), QStringLiteral("ALARM"), true, 1000, 0},
        {QStringLiteral("SPINDLE"), QStringLiteral("4"), QStringLiteral("SPEED"), false, 1000, 60000,
         QString::fromLatin1(kSpindleScript), {QStringLiteral("H1")}},
    };
    QJsonArray array;
    for (const TSampleRule& rule : rules) array.append(RuleObject(rule));
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("array"), array}}).toJson(QJsonDocument::Compact));
}

QString TabReferencia() {
    const QJsonArray tags = {
        Tag(QStringLiteral("1"), QStringLiteral("Estado"), QStringLiteral("Estado da máquina"), QString()),
        Tag(QStringLiteral("2"), QStringLiteral("Horimetro"), QStringLiteral("Horas de operação"), QStringLiteral("h")),
        Tag(QStringLiteral("3"), QStringLiteral("Alarme"), QStringLiteral("Alarme ativo"), QString()),
        Tag(QStringLiteral("4"), QStringLiteral("Spindle"), QStringLiteral("Rotação do spindle"), QStringLiteral("rpm")),
    };
    return QString::fromUtf8(QJsonDocument(tags).toJson(QJsonDocument::Compact));
}

QString Fabricantes() { return QStringLiteral("1;Brelk|2;Acme Tools"); }

QString Linhas() { return QStringLiteral("1;1;Centros de usinagem|1;2;Tornos CNC|2;3;Retificadoras"); }

QString Modelos() {
    return QStringLiteral("1;1;1;BK-500|1;1;2;BK-800|1;2;3;TX-200|2;3;4;RG-100");
}

}  // namespace cloud_samples
