#pragma once

#include <QDateTime>
#include <QString>

// One line of a summary: the state of one referenced rule at the summary's moment.
// Line form: sensorId|dataHora|tag|tagId|valor|tempoAcumulado|alterouEstado|valorAnterior
struct TResumoReg {
    QString sensorId;       // machine serial
    QDateTime dataHora;     // moment of the summary, local time
    QString tag;            // rule name
    QString tagId;          // reference tag id of the rule
    QString valor;          // current value, translated
    QString valorAnterior;  // previous value, translated
    QString alterouEstado;  // "1" changed and generating records, else "0"
    qint64 tempoAcumulado = 0;  // whole seconds the previous value lasted

    static constexpr int FieldCount = 8;

    // The time stamp carries the offset of dataHora itself: ...-03:00, or Z at offset zero.
    QString BuildLine() const;

    // Throws MeltrixError for a line without exactly eight fields, a time stamp that is not
    // ISO 8601 or an accumulated time that is not a decimal integer. dataHora comes back as
    // local time.
    static TResumoReg Split(const QString& pRegistro);
};
