#include "shdr-sim/brelk_responder.h"

#include "util/cipher.h"
#include "util/clock.h"
#include "util/date_time.h"
#include "util/error.h"

#include <algorithm>

namespace {

const QString LineEnd = QStringLiteral("\r\n");
const QString Get = QStringLiteral("GET");

QString Marker() { return QString::fromUtf16(cipher::Marker); }

// key|value|key|value: what follows the time stamp and its "|" in a record.
QString RecordText(const TTagValues& fields) {
    QStringList parts;
    for (const TTagValue& field : fields) parts << field.first << field.second;
    return parts.join(u'|');
}

QList<TPollItem> ItemsOf(const QStringList& parts, qsizetype first) {
    QList<TPollItem> items;
    for (qsizetype i = first; i < parts.size(); i += 2) items.append({parts.at(i), parts.value(i + 1)});
    return items;
}

// The agent splits a received block at every marker, so a line whose cipher text happens to
// contain the marker would reach it cut in two.
bool MarkerInsideCipherText(const QString& line) { return line.indexOf(Marker(), Marker().size()) >= 0; }

QStringList RecordsOf(const QString& wire) {
    return cipher::DecriptarTexto(wire).split(LineEnd, Qt::SkipEmptyParts);
}

}  // namespace

TBrelkResponder::TBrelkResponder(TMachineValues& values, bool plainAnswers)
    : FValues(values), FPlainAnswers(plainAnswers) {}

std::optional<QList<TPollItem>> TBrelkResponder::ParsePoll(const QString& line) {
    if (line.startsWith(u'|')) return ItemsOf(line.split(u'|'), 1);
    if (!line.startsWith(Marker())) return std::nullopt;

    QString plain = cipher::DecriptarTexto(line);
    plain.remove(u'\r').remove(u'\n');
    const QStringList parts = plain.mid(plain.indexOf(u'|') + 1).split(u'|');
    if (parts.first() != Get) return std::nullopt;
    return ItemsOf(parts, 1);
}

TBrelkResponder::TAnswer TBrelkResponder::answer(const QList<TPollItem>& items) {
    const TTagValues fields = valuesFor(items);
    if (fields.isEmpty()) return {};
    return FPlainAnswers ? plainAnswer(fields) : encipheredAnswer(fields);
}

TTagValues TBrelkResponder::valuesFor(const QList<TPollItem>& items) {
    TTagValues fields;
    for (const TPollItem& item : items)
        if (!item.key.isEmpty()) fields.append({item.key, FValues.valueOf(item.key)});
    const QString alarm = FValues.tags().alarm;
    std::stable_partition(fields.begin(), fields.end(), [&alarm](const TTagValue& field) {
        return field.first.compare(alarm, Qt::CaseInsensitive) != 0;
    });
    return fields;
}

TBrelkResponder::TAnswer TBrelkResponder::plainAnswer(const TTagValues& fields) const {
    const QString record = date_time::IsoLocalWithZ(Clock::now()) + u'|' + RecordText(fields);
    return {record + LineEnd, {record}, {}};
}

TBrelkResponder::TAnswer TBrelkResponder::encipheredAnswer(const TTagValues& fields) const {
    TAnswer answer;
    TTagValues sendable;
    for (const TTagValue& field : fields) {
        try {
            cipher::Encriptar(RecordText({field}));
            sendable.append(field);
        } catch (const MeltrixError& error) {
            answer.dropped.append(RecordText({field}) + QStringLiteral(": ") + error.message());
        }
    }
    if (sendable.isEmpty()) return answer;

    const QString line = cipher::EncriptarLinha(RecordText(sendable));
    if (!MarkerInsideCipherText(line)) {
        answer.wire = line + LineEnd;
    } else {
        for (const TTagValue& field : sendable) {
            const QString single = cipher::EncriptarLinha(RecordText({field}));
            if (MarkerInsideCipherText(single))
                answer.dropped.append(RecordText({field}) + QStringLiteral(": its cipher text contains \"") +
                                      Marker() + u'"');
            else
                answer.wire += single + LineEnd;
        }
    }
    answer.records = RecordsOf(answer.wire);
    return answer;
}
