#include "summaries/resumo.h"

#include "rules/regra.h"
#include "summaries/resumo_reg.h"
#include "util/text_lines.h"

TResumo::TResumo(const QString& text) { setText(text); }

void TResumo::addLine(const QString& serial, TRegra& regra, const QDateTime& timestamp) {
    TRegraValor& valor = regra.Valor();
    TResumoReg reg;
    reg.sensorId = serial;
    reg.dataHora = timestamp;
    reg.tag = regra.Nome();
    reg.tagId = regra.IdTagReferencia;
    reg.valor = valor.atual();
    reg.valorAnterior = valor.anterior();
    reg.tempoAcumulado = valor.getTempoAcumulado(timestamp);
    reg.alterouEstado = valor.alterou() && regra.GerarNovoRegistro() ? QStringLiteral("1")
                                                                     : QStringLiteral("0");
    FLines.append(reg.BuildLine());
}

QDateTime TResumo::getDate() const {
    if (FLines.isEmpty()) return {};
    return TResumoReg::Split(FLines.first()).dataHora;
}

QString TResumo::getRuleName(const QString& row) { return TResumoReg::Split(row).tag; }

QString TResumo::getRuleValue(const QString& row) { return TResumoReg::Split(row).valor; }

QString TResumo::text() const { return text_lines::Join(FLines); }

void TResumo::setText(const QString& text) { FLines = text_lines::Split(text); }
