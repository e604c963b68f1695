#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// What the cloud knows of each machine's last state: the newest summary line of every rule,
// learned from the summary batches the agents deliver.
class TLastValuesBook {
public:
    // Learns every summary line of a batch text; returns how many lines were read. Lines that
    // are not summary lines are skipped. A line older than what is known of its rule changes
    // nothing (a re-sent old batch does not roll a value back).
    int learn(const QString& serial, const QString& batch);

    // The LAST_VALUES answer: a JSON array of {"regra", "valor", "datahora"}, newest first;
    // "[]" for a machine that delivered nothing yet.
    QString json(const QString& serial) const;

private:
    struct TLastValue {
        QString regra;
        QString valor;
        QDateTime datahora;
    };

    QHash<QString, QList<TLastValue>> FMachines;  // serial -> rules in the order first seen
};
