#include "rules/regra_kinds.h"

#include "util/clock.h"
#include "util/text.h"
#include "util/topics.h"

#include <QRegularExpression>
#include <QTimeZone>

// ---- TH1

QString TH1::translateValue(const QString& v) const {
    if (v == u"1") return QStringLiteral("ACTIVE");
    if (v == u"0") return QStringLiteral("STOP");
    return QStringLiteral("POWER_OFF");
}

TRegraPublishInstructions TH1::buildPublishInstructions() const {
    const QString state = Valor().atualBruto().isEmpty() ? QStringLiteral("-1") : Valor().atualBruto();
    // The cloud expects the wall clock read as if it were UTC, not the true instant.
    const QDateTime local = Clock::now();
    const qint64 wallClockSeconds =
        QDateTime(local.date(), local.time(), QTimeZone::utc()).toSecsSinceEpoch();
    return {TRegraPublishInstruction::Create(topics::H1(maquinaSerial()), state),
            TRegraPublishInstruction::Create(topics::H1DataHora(maquinaSerial()),
                                             state + u'|' + QString::number(wallClockSeconds))};
}

// ---- single-topic kinds

TRegraPublishInstructions TSingleTopicRegra::buildPublishInstructions() const {
    return {TRegraPublishInstruction::Create(FTopic(maquinaSerial()), Valor().atual())};
}

THorimetro::THorimetro(const QString& nomeRegra) : TSingleTopicRegra(nomeRegra, &topics::Horimetro) {}
TD1::TD1(const QString& nomeRegra) : TSingleTopicRegra(nomeRegra, &topics::D1) {}
TC1::TC1(const QString& nomeRegra) : TSingleTopicRegra(nomeRegra, &topics::C1) {}

// ---- text kinds

QString TTextoRegra::CleanDashes(const QString& valor) {
    static const QRegularExpression dashRuns(QStringLiteral("(\\s?\\-\\s?){2,}"));
    static const QRegularExpression leadingDash(QStringLiteral("^\\-\\s?"));
    static const QRegularExpression trailingDash(QStringLiteral("\\s?\\-\\s?$"));
    QString cleaned = text::Trim(valor);
    cleaned.replace(dashRuns, QStringLiteral(" - "));
    cleaned.remove(leadingDash);
    cleaned.remove(trailingDash);
    return cleaned;
}

void TTextoRegra::update(const QString& valor) { TRegra::update(CleanDashes(valor)); }

TRegraPublishInstructions TTextoRegra::buildPublishInstructions() const {
    return {TRegraPublishInstruction::Create(FTopic(maquinaSerial()), Valor().atual()),
            TRegraPublishInstruction::Create(topics::Dados(maquinaSerial()),
                                             OriginalName() + u'|' + Valor().atual())};
}

TAlarme::TAlarme(const QString& nomeRegra) : TTextoRegra(nomeRegra, &topics::Alarme) {}
TMensagem::TMensagem(const QString& nomeRegra) : TTextoRegra(nomeRegra, &topics::Mensagem) {}

// ---- selection

std::unique_ptr<TRegra> CreateRegraKind(EnumRegraNome kind, const QString& nomeRegra) {
    switch (kind) {
        case EnumRegraNome::C1: return std::make_unique<TC1>(nomeRegra);
        case EnumRegraNome::D1: return std::make_unique<TD1>(nomeRegra);
        case EnumRegraNome::H1: return std::make_unique<TH1>(nomeRegra);
        case EnumRegraNome::HORIMETRO: return std::make_unique<THorimetro>(nomeRegra);
        case EnumRegraNome::ALARME: return std::make_unique<TAlarme>(nomeRegra);
        case EnumRegraNome::MENSAGEM: return std::make_unique<TMensagem>(nomeRegra);
    }
    return std::make_unique<TRegra>(nomeRegra);
}
