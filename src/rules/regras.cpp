#include "rules/regras.h"

#include "util/error.h"
#include "util/hex_ids.h"
#include "util/text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

const QString BrelkProtocol = QStringLiteral("BrelkProtocol");

QJsonArray RequiredArray(const QJsonObject& object, const QString& key, const QString& owner) {
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        throw MeltrixError(QStringLiteral("%1: \"%2\" ausente ou não é uma lista").arg(owner, key));
    return value.toArray();
}

QJsonObject RequiredObject(const QJsonValue& value, const QString& what) {
    if (!value.isObject()) throw MeltrixError(what + QStringLiteral(" não é um objeto JSON"));
    return value.toObject();
}

// "B;A;" for triggers A then B: each name is put before the earlier ones.
QString CollectTriggerNames(const QJsonObject& object, const QString& nome) {
    QString names;
    for (const QJsonValue& gatilho :
         RequiredArray(object, QStringLiteral("Gatilhos"), QStringLiteral("Regra ") + nome)) {
        const QJsonValue gatilhoNome =
            RequiredObject(gatilho, QStringLiteral("Gatilho da regra ") + nome).value(QStringLiteral("Nome"));
        if (!gatilhoNome.isString())
            throw MeltrixError(QStringLiteral("Regra %1: gatilho sem \"Nome\"").arg(nome));
        names = gatilhoNome.toString().toUpper() + u';' + names;
    }
    return names;
}

qint64 IntegerIdentifier(const QString& identifier) {
    bool ok = false;
    const qint64 value = identifier.toLongLong(&ok);
    if (!ok) throw MeltrixError(QStringLiteral("'%1' is not a valid integer value").arg(identifier));
    return value;
}

}  // namespace

// A document parsed into rules that are not installed yet.
struct TRegras::Loaded {
    TRegraDict dict;
    TRegraList documentOrder;
    std::unordered_map<QString, QString> gatilhos;  // rule key -> "B;A;"
};

void TRegras::fromJSON(const QString& json) {
    const QString trimmed = text::Trim(json);
    if (trimmed.isEmpty() || !jsonChanged(trimmed)) return;
    Loaded loaded = parse(trimmed);
    install(loaded, trimmed);
    sortWithRefList();
}

bool TRegras::jsonChanged(const QString& trimmed) {
    const QString digest = hex_ids::Sha1(trimmed);
    if (digest == FJsonSHA1) return false;
    // Stored before parsing, so a document that fails is not parsed again when resent.
    FJsonSHA1 = digest;
    return true;
}

TRegras::Loaded TRegras::parse(const QString& trimmed) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(trimmed.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        throw MeltrixError(QStringLiteral("JSON inválido: %1 (posição %2)")
                               .arg(error.errorString())
                               .arg(error.offset));
    if (!document.isObject()) throw MeltrixError(QStringLiteral("O documento de regras não é um objeto JSON"));

    Loaded loaded;
    for (const QJsonValue& element :
         RequiredArray(document.object(), QStringLiteral("array"), QStringLiteral("Documento de regras"))) {
        const QJsonObject object = RequiredObject(element, QStringLiteral("Regra"));
        std::unique_ptr<TRegra> regra = TRegra::Factory(object);
        const QString nome = regra->Nome();
        if (loaded.gatilhos.count(nome) != 0)
            throw MeltrixError(QStringLiteral("Regra duplicada: %1").arg(nome));
        loaded.gatilhos[nome] = CollectTriggerNames(object, nome);
        loaded.documentOrder.append(regra.get());
        loaded.dict.emplace(nome, std::move(regra));
    }

    for (const auto& [nome, names] : loaded.gatilhos) {
        TRegra* dependent = loaded.dict.at(nome).get();
        for (const QString& trigger : names.split(u';', Qt::SkipEmptyParts)) {
            const auto found = loaded.dict.find(trigger);
            if (found != loaded.dict.end()) found->second->regras().append(dependent);
        }
    }
    return loaded;
}

void TRegras::install(Loaded& loaded, const QString& trimmed) {
    for (const auto& [nome, regra] : loaded.dict) {
        const auto previous = _dict.find(nome);
        if (previous != _dict.end()) regra->attachValueFrom(*previous->second);
    }
    _protBrelkProtList.clear();
    _specialList.clear();
    _withRefList.clear();
    for (TRegra* regra : loaded.documentOrder) {
        if (regra->TagEspecial) _specialList.append(regra);
        if (!regra->IdTagReferencia.isEmpty()) _withRefList.append(regra);
        if (regra->Protocolo == BrelkProtocol) _protBrelkProtList.append(regra);
    }
    // The old rules save their histories as they are destroyed here.
    _dict = std::move(loaded.dict);
    _json = trimmed;
}

void TRegras::sortWithRefList() {
    if (_withRefList.size() < 2) return;
    std::vector<std::pair<qint64, TRegra*>> keyed;
    keyed.reserve(static_cast<std::size_t>(_withRefList.size()));
    for (TRegra* regra : _withRefList) keyed.emplace_back(IntegerIdentifier(regra->IdTagReferencia), regra);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });
    for (qsizetype i = 0; i < _withRefList.size(); ++i)
        _withRefList[i] = keyed[static_cast<std::size_t>(i)].second;
}

void TRegras::forEach(const ProcForEach& action) const {
    if (!action) return;
    for (const auto& [nome, regra] : _dict) action(*regra);
}

void TRegras::forEach(const TRegraList& inList, const ProcForEach& action) {
    if (!action) return;
    for (TRegra* regra : inList) action(*regra);
}

TRegra* TRegras::find(const QString& nome) const {
    const auto found = _dict.find(nome);
    return found == _dict.end() ? nullptr : found->second.get();
}

TRegra& TRegras::add(std::unique_ptr<TRegra> regra) {
    const QString nome = regra->Nome();
    const auto [position, inserted] = _dict.try_emplace(nome, std::move(regra));
    if (!inserted) throw MeltrixError(QStringLiteral("Regra duplicada: %1").arg(nome));
    return *position->second;
}
