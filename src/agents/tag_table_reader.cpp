#include "agents/tag_table_reader.h"

#include "util/error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString FieldText(const QJsonObject& element, const QString& key) {
    const QJsonValue value = element.value(key);
    if (value.isUndefined()) throw MeltrixError(QStringLiteral("TABREFERENCE: \"%1\" ausente").arg(key));
    if (value.isString()) return value.toString();
    if (value.isDouble() || value.isBool()) return value.toVariant().toString();
    if (value.isNull()) return QString();
    throw MeltrixError(QStringLiteral("TABREFERENCE: \"%1\" não é um valor simples").arg(key));
}

}  // namespace

void readTabReferencia(const QString& payload, TTagMTConnectDict& table, const TProcRegLog3& log) {
    log(QStringLiteral("Reading TABREFERENCE"), false);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        log(QStringLiteral("Reading TABREFERENCE: not valid data found. Ignoring."), false);
        return;
    }
    table.clear();
    if (!document.isArray()) throw MeltrixError(QStringLiteral("TABREFERENCE: o documento não é uma lista"));
    for (const QJsonValue& value : document.array()) {
        if (!value.isObject()) throw MeltrixError(QStringLiteral("TABREFERENCE: elemento que não é um objeto"));
        const QJsonObject element = value.toObject();
        TTagMTConnect tag;
        tag.Fill(FieldText(element, QStringLiteral("tag")), FieldText(element, QStringLiteral("name")),
                 FieldText(element, QStringLiteral("description")), FieldText(element, QStringLiteral("unit")));
        if (table.contains(tag.ID)) throw MeltrixError(QStringLiteral("TABREFERENCE: tag repetida: %1").arg(tag.ID));
        table.insert(tag.ID, tag);
    }
    log(QStringLiteral("Reading TABREFERENCE: Ended"), false);
}
