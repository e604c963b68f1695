#pragma once

#include "shdr-sim/machine_values.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One item of a poll request: the rule's key and its protocol parameter.
struct TPollItem {
    QString key;
    QString parameter;
    bool operator==(const TPollItem&) const = default;
};

// The machine's side of the maker's request/response protocol: it reads a poll request and
// answers with the requested tags and their values in the raw record form, so that the
// agent's decipherment gives "<time stamp>|key|value|key|value...".
class TBrelkResponder {
public:
    struct TAnswer {
        QString wire;        // what goes on the link, lines ended by CR LF; empty: nothing to send
        QStringList records; // the plain records carried by wire, one per line, for the log
        QStringList dropped; // tag/value pairs that could not be sent, with the reason
    };

    // plainAnswers: the records go out as they are instead of as enciphered lines.
    TBrelkResponder(TMachineValues& values, bool plainAnswers);

    // The items of a poll: an enciphered line "Brelk<time>|<cipher of GET|key|param...>" or a
    // plain line "|key|param...". No value when the line is not a poll request. Throws
    // MeltrixError when an enciphered line does not decipher.
    static std::optional<QList<TPollItem>> ParsePoll(const QString& line);

    // The answer to a poll. Items without a key are skipped. The alarm tag goes last, since a
    // special tag takes every field after it in its record.
    TAnswer answer(const QList<TPollItem>& items);

private:
    TTagValues valuesFor(const QList<TPollItem>& items);
    TAnswer plainAnswer(const TTagValues& fields) const;
    TAnswer encipheredAnswer(const TTagValues& fields) const;

    TMachineValues& FValues;
    bool FPlainAnswers;
};
