#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class TMaquina;

// One publication with its retain flag.
struct TPublication {
    QString topic;
    QString payload;
    bool retain = false;
    bool operator==(const TPublication&) const = default;
};

// The payloads the agents and the installation exchange with the cloud, built in one place.
namespace payloads {

// The executable's version as major.minor.release.
QString Versao();

// Name|protocol;address;port|standard time-zone bias in minutes (UTC minus local time).
QString InfoV2(const TMaquina& maquina);

// "info|" + serial.
QString UpdateNotice(const QString& serial);

// VERSAO, FABRICANTE, LINHA, MODELO (retained), INFOv2 and SRV/UPDATE, in this order.
QList<TPublication> MachineAnnouncement(const TMaquina& maquina);

// "meltrix_" + the computer name.
QString ClientName(const QString& computerName);

// The text handed to the pipeline for a DATAINPUT payload: local clock with a final Z, "|".
QString DataInputText(const QDateTime& now, const QString& payload);

// A TELNET chunk; one space is added when topic and payload together are exactly 125
// characters long.
QString TelnetPayload(const QString& topic, const QString& chunk);

// A fresh serial request id: a GUID without braces and dashes (32 hexadecimal digits).
QString SerialRequestId();

// Catalogue records: records separated by "|", fields by ";". Blank records are skipped.
QList<QStringList> CatalogueRecords(const QString& payload);

// One GETMACHINES/RESPONSE line per machine: serial, statuses and name, each ending CR LF.
QString MachineReportLine(const QString& serial, const QString& mqttStatus, const QString& telnetStatus,
                          const QString& nome);

}  // namespace payloads
