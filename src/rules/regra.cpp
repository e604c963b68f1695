#include "rules/regra.h"

#include "rules/regra_kinds.h"
#include "util/app_paths.h"
#include "util/b64url.h"
#include "util/clock.h"
#include "util/code_page.h"
#include "util/date_time.h"
#include "util/error.h"
#include "util/text.h"
#include "util/text_lines.h"
#include "util/topics.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>

#include <array>

namespace {

// Reads the rule object's keys, failing with a message that names the rule and the key.
class RuleObjectReader {
public:
    explicit RuleObjectReader(const QJsonObject& object) : FObject(object) {}

    QString text(const QString& key) const {
        const QJsonValue value = required(key);
        if (value.isString()) return value.toString();
        if (value.isDouble() || value.isBool()) return value.toVariant().toString();
        throw invalid(key, QStringLiteral("a text"));
    }

    bool boolean(const QString& key) const {
        const QJsonValue value = required(key);
        if (!value.isBool()) throw invalid(key, QStringLiteral("true or false"));
        return value.toBool();
    }

    int integer(const QString& key) const {
        const QJsonValue value = required(key);
        const double number = value.toDouble();
        if (!value.isDouble() || number != std::trunc(number) || number < INT_MIN || number > INT_MAX)
            throw invalid(key, QStringLiteral("an integer number"));
        return static_cast<int>(number);
    }

private:
    QJsonValue required(const QString& key) const {
        const QJsonValue value = FObject.value(key);
        if (value.isUndefined())
            throw MeltrixError(QStringLiteral("Regra %1: chave \"%2\" ausente").arg(ruleName(), key));
        return value;
    }

    MeltrixError invalid(const QString& key, const QString& expected) const {
        return MeltrixError(QStringLiteral("Regra %1: a chave \"%2\" deve ser %3")
                                .arg(ruleName(), key, expected));
    }

    QString ruleName() const {
        const QJsonValue nome = FObject.value(QStringLiteral("Nome"));
        return nome.isString() ? u'"' + nome.toString() + u'"' : QStringLiteral("sem nome");
    }

    const QJsonObject& FObject;
};

}  // namespace

// ---- construction and kinds

TRegra::TRegra(const QString& nomeRegra)
    : FNome(KeyOf(nomeRegra)),
      FOriginalName(text::Trim(nomeRegra)),
      FValor(std::make_unique<TRegraValor>(false, OwnTranslation())) {}

TRegra::~TRegra() {
    if (_maquinaSerial.isEmpty()) return;
    try {
        saveChangeHistory();
    } catch (const MeltrixError& error) {
        // Losing one history must never stop the rule set from being destroyed.
        const QString message = QStringLiteral("[TRegra.Destroy] ") + error.message();
        if (FLogProc)
            FLogProc(message, true);
        else
            qWarning("%s", qUtf8Printable(message));
    }
}

QString TRegra::KeyOf(const QString& nomeRegra) {
    QString nome = text::Trim(nomeRegra).toUpper();
    if (nome.startsWith(u'_')) nome.remove(0, 1);
    return nome;
}

FnValueTranslation TRegra::OwnTranslation() const {
    return [this](const QString& v) { return translateValue(v); };
}

std::unique_ptr<TRegra> TRegra::Factory(const QString& nomeRegra) {
    static const std::array<std::pair<QString, EnumRegraNome>, 6> names = {{
        {QStringLiteral("C1"), EnumRegraNome::C1},
        {QStringLiteral("D1"), EnumRegraNome::D1},
        {QStringLiteral("H1"), EnumRegraNome::H1},
        {QStringLiteral("HORIMETRO"), EnumRegraNome::HORIMETRO},
        {QStringLiteral("ALARME"), EnumRegraNome::ALARME},
        {QStringLiteral("MENSAGEM"), EnumRegraNome::MENSAGEM},
    }};
    for (const auto& [name, kind] : names)
        if (nomeRegra.compare(name, Qt::CaseInsensitive) == 0) return CreateRegraKind(kind, nomeRegra);
    return std::make_unique<TRegra>(nomeRegra);
}

std::unique_ptr<TRegra> TRegra::Factory(const QJsonObject& object) {
    const RuleObjectReader reader(object);
    auto regra = Factory(reader.text(QStringLiteral("Nome")));
    regra->EnvioValoresRepetidos = reader.boolean(QStringLiteral("EnvioValoresRepetidos"));
    regra->TagEspecial = reader.boolean(QStringLiteral("TagEspecial"));
    regra->Ativo = reader.boolean(QStringLiteral("Ativo"));
    regra->IntervaloMinimo = reader.integer(QStringLiteral("IntervaloMinimo"));
    regra->IntervaloMaximo = reader.integer(QStringLiteral("IntervaloMaximo"));
    regra->Script = text::Trim(reader.text(QStringLiteral("Script")));
    regra->Protocolo = text::Trim(reader.text(QStringLiteral("Protocolo")));
    regra->ProtocoloParametro = text::Trim(reader.text(QStringLiteral("ProtocoloParametro")));
    regra->IdTagReferencia = text::Trim(reader.text(QStringLiteral("IdTagReferencia")));
    regra->setGerarNovoRegistro(reader.boolean(QStringLiteral("GerarNovoRegistro")));
    regra->json = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    return regra;
}

// ---- values

void TRegra::update(const QString& valor) {
    const QString cacheAnteriorBruto = Valor().cachedBruto();
    const QString cacheAnterior = Valor().cached();
    const QString stored =
        valor.size() >= MaxValueLength ? valor.left(MaxValueLength) + QStringLiteral("...") : valor;
    Valor().set_(stored);
    doCache(cacheAnteriorBruto, cacheAnterior);
}

void TRegra::doCache(const QString& cacheAnteriorBruto, const QString& cacheAnterior) {
    if (!Valor().alterouCache()) return;
    FChangeHistory.prepend(QStringLiteral("[%1] %2 (%3) -> %4 (%5)")
                               .arg(date_time::DataHora(Clock::nowMSecsSinceEpoch()), cacheAnteriorBruto,
                                    cacheAnterior, Valor().atualBruto(), Valor().atual()));
    if (FChangeHistory.size() > MaxHistoryEntries) FChangeHistory.removeLast();
}

void TRegra::setGerarNovoRegistro(bool gerar) {
    FGerarNovoRegistro = gerar;
    FValor = FValor->setGerarNovoRegistro(gerar, OwnTranslation());
}

void TRegra::attachValueFrom(const TRegra& regra) {
    FValor = regra.Valor().setGerarNovoRegistro(FGerarNovoRegistro, OwnTranslation());
}

// ---- change history file

QString TRegra::historyFilePath() const {
    if (_maquinaSerial.isEmpty()) return {};
    return QDir(app_paths::HistoryFolder())
        .filePath(TB64URL::encode(QStringLiteral("%1_%2").arg(FNome, _maquinaSerial)) +
                  QStringLiteral(".txt"));
}

void TRegra::setMaquinaSerial(const QString& serial) {
    if (serial == _maquinaSerial) return;
    _maquinaSerial = serial;
    loadChangeHistory();
}

void TRegra::loadChangeHistory() {
    const QString path = historyFilePath();
    if (!QFileInfo::exists(path)) return;
    FChangeHistory = text_lines::Split(code_page::ReadTextFile(path)).mid(0, MaxHistoryEntries);
}

void TRegra::saveChangeHistory() const {
    const QString folder = app_paths::HistoryFolder();
    if (!QDir().mkpath(folder))
        throw MeltrixError(QStringLiteral("Cannot create the folder \"%1\"").arg(folder));
    code_page::WriteTextFile(historyFilePath(), text_lines::Join(FChangeHistory));
}

QString TRegra::getChangeHistory() const {
    return text_lines::Join({QStringLiteral("Change History: ") + FNome,
                             QStringLiteral("[data hora] valor anterior (valor anterior traduzido) -> "
                                            "valor atual (valor atual traduzido)")}) +
           text_lines::Join(FChangeHistory);
}

// ---- publication

bool TRegra::TPublishConstraint::canBePublished(const TRegra& regra, bool isAResend) const {
    if (!regra.Ativo || !regra.isPublishable()) return false;
    if (!isAResend) {
        const bool intervalHolds = regra.IntervaloMinimo == 0 || !_lastSentTimestamp ||
                                   *_lastSentTimestamp + regra.IntervaloMinimo < Clock::nowMSecsSinceEpoch();
        return intervalHolds && (regra.Valor().alterouCache() || regra.EnvioValoresRepetidos);
    }
    if (regra.IntervaloMaximo <= 0) return false;
    if (!_lastSentTimestamp) return true;
    return *_lastSentTimestamp + regra.IntervaloMaximo <= Clock::nowMSecsSinceEpoch();
}

void TRegra::TPublishConstraint::sended() { _lastSentTimestamp = Clock::nowMSecsSinceEpoch(); }

QDateTime TRegra::TPublishConstraint::lastSentTimestamp() const {
    return _lastSentTimestamp ? QDateTime::fromMSecsSinceEpoch(*_lastSentTimestamp) : QDateTime();
}

bool TRegra::canBePublished(bool isAResend) const {
    return _publishConstraint.canBePublished(*this, isAResend);
}

void TRegra::sended() { _publishConstraint.sended(); }

TRegraPublishInstructions TRegra::buildPublishInstructions() const {
    return {TRegraPublishInstruction::Create(topics::Dados(_maquinaSerial),
                                             FOriginalName + u'|' + Valor().atual())};
}

TRegraPublishInstructions TRegra::getPublishInstructions(const TTagMTConnectDict& TagMTConnectDict,
                                                         bool skipConstraints,
                                                         bool isAResend) const {
    if (!skipConstraints && !canBePublished(isAResend)) return {};
    TRegraPublishInstructions instructions = buildPublishInstructions();
    if (IdTagReferencia.isEmpty()) return instructions;

    const auto tag = TagMTConnectDict.constFind(IdTagReferencia);
    const QString reference =
        tag == TagMTConnectDict.constEnd()
            ? QStringLiteral("%1|%2").arg(IdTagReferencia, Valor().atualBruto())
            : QStringLiteral("%1|%2|%3|%4|%5")
                  .arg(tag->ID, Valor().atualBruto(), tag->Name, tag->Description, tag->Unit);
    instructions.append(TRegraPublishInstruction::Create(topics::DadosPlus(_maquinaSerial), reference));
    instructions.append(TRegraPublishInstruction::Create(
        topics::DadosApontamento(_maquinaSerial),
        date_time::IsoWithOffset(Clock::now()) + u'|' + reference));
    return instructions;
}
