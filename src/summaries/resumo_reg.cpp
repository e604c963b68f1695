#include "summaries/resumo_reg.h"

#include "util/date_time.h"
#include "util/error.h"

#include <QStringList>

namespace {

const QChar Separator = u'|';

// The line has no escaping: a separator or a line break inside a text would shift the
// fields of this line or split it in two, so they become spaces.
QString Field(QString text) {
    for (QChar& c : text)
        if (c == Separator || c == u'\r' || c == u'\n') c = u' ';
    return text;
}

qint64 ParseTempoAcumulado(const QString& text) {
    bool ok = false;
    const qint64 seconds = text.toLongLong(&ok, 10);
    if (!ok)
        throw MeltrixError(QStringLiteral("\"%1\" is not a valid integer").arg(text));
    return seconds;
}

}  // namespace

QString TResumoReg::BuildLine() const {
    const QStringList fields{
        Field(sensorId), date_time::IsoWithOffset(dataHora), Field(tag),          Field(tagId),
        Field(valor),    QString::number(tempoAcumulado),    Field(alterouEstado), Field(valorAnterior),
    };
    return fields.join(Separator);
}

TResumoReg TResumoReg::Split(const QString& pRegistro) {
    const QStringList parts = pRegistro.split(Separator);
    if (parts.size() != FieldCount)
        throw MeltrixError(QStringLiteral("A summary line has %1 fields instead of %2: \"%3\"")
                               .arg(parts.size())
                               .arg(FieldCount)
                               .arg(pRegistro));
    TResumoReg reg;
    reg.sensorId = parts[0];
    reg.dataHora = date_time::ParseIsoToLocal(parts[1]);
    reg.tag = parts[2];
    reg.tagId = parts[3];
    reg.valor = parts[4];
    reg.tempoAcumulado = ParseTempoAcumulado(parts[5]);
    reg.alterouEstado = parts[6];
    reg.valorAnterior = parts[7];
    return reg;
}
