#include "cloud-sim/last_values_book.h"

#include "summaries/resumo_mem_cache.h"
#include "summaries/resumo_reg.h"
#include "util/date_time.h"
#include "util/error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

int TLastValuesBook::learn(const QString& serial, const QString& batch) {
    TResumoMemCache::TLoteResumo lote;
    lote.parse(batch);
    QList<TLastValue>& known = FMachines[serial];
    int learned = 0;
    for (const TResumo& resumo : lote.resumos()) {
        for (const QString& line : resumo.lines()) {
            TResumoReg reg;
            try {
                reg = TResumoReg::Split(line);
            } catch (const MeltrixError&) {
                continue;
            }
            ++learned;
            auto same = std::find_if(known.begin(), known.end(),
                                     [&reg](const TLastValue& value) { return value.regra == reg.tag; });
            if (same == known.end())
                known.append({reg.tag, reg.valor, reg.dataHora});
            else if (same->datahora <= reg.dataHora)
                *same = {reg.tag, reg.valor, reg.dataHora};
        }
    }
    return learned;
}

QString TLastValuesBook::json(const QString& serial) const {
    QList<TLastValue> values = FMachines.value(serial);
    std::stable_sort(values.begin(), values.end(),
                     [](const TLastValue& a, const TLastValue& b) { return a.datahora > b.datahora; });
    QJsonArray array;
    for (const TLastValue& value : values)
        array.append(QJsonObject{{QStringLiteral("regra"), value.regra},
                                 {QStringLiteral("valor"), value.valor},
                                 {QStringLiteral("datahora"), date_time::IsoWithOffset(value.datahora)}});
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}
