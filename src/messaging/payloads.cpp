#include "messaging/payloads.h"

#include "settings/maquina.h"
#include "util/date_time.h"
#include "util/hex_ids.h"
#include "util/text.h"
#include "util/topics.h"
#include "util/version.h"


namespace payloads {

namespace {
constexpr int TelnetPaddedLength = 125;
}  // namespace

QString Versao() {
    return QStringLiteral("%1.%2.%3")
        .arg(meltrix_version::Major)
        .arg(meltrix_version::Minor)
        .arg(meltrix_version::Release);
}

QString InfoV2(const TMaquina& maquina) {
    return maquina.Nome() + u'|' + maquina.Protocolo() + u';' + maquina.Endereco() + u';' +
           QString::number(maquina.Porta()) + u'|' + QString::number(-date_time::StandardOffsetMinutes());
}

QString UpdateNotice(const QString& serial) { return QStringLiteral("info|") + serial; }

QList<TPublication> MachineAnnouncement(const TMaquina& maquina) {
    const QString& serial = maquina.Serial();
    return {
        {topics::Versao(serial), Versao(), true},
        {topics::Fabricante(serial), maquina.IDFabricante(), true},
        {topics::Linha(serial), maquina.IDLinha(), true},
        {topics::Modelo(serial), maquina.IDModelo(), true},
        {topics::InfoV2(serial), InfoV2(maquina), false},
        {topics::SrvUpdate(), UpdateNotice(serial), false},
    };
}

QString ClientName(const QString& computerName) { return QStringLiteral("meltrix_") + computerName; }

QString DataInputText(const QDateTime& now, const QString& payload) {
    return date_time::IsoLocalWithZ(now) + u'|' + payload;
}

QString TelnetPayload(const QString& topic, const QString& chunk) {
    return topic.size() + chunk.size() == TelnetPaddedLength ? chunk + u' ' : chunk;
}

QString SerialRequestId() { return hex_ids::NewGuid(); }

QList<QStringList> CatalogueRecords(const QString& payload) {
    QList<QStringList> records;
    for (const QString& record : payload.split(u'|')) {
        if (text::Trim(record).isEmpty()) continue;
        records.append(record.split(u';'));
    }
    return records;
}

QString MachineReportLine(const QString& serial, const QString& mqttStatus, const QString& telnetStatus,
                          const QString& nome) {
    return serial + QStringLiteral(" - StatusMQTT: ") + mqttStatus + QStringLiteral(" - StatusTelnet: ") +
           telnetStatus + QStringLiteral(" - Machine: ") + nome + QStringLiteral("\r\n");
}

}  // namespace payloads
