#pragma once

#include <QDateTime>
#include <QString>

// The date and time text forms the system reads and writes. Each form exists once here.
namespace date_time {

// 2024-06-24T10:11:12.345-03:00, or ...Z when the offset is zero.
QString IsoWithOffset(const QDateTime& moment);

// The clock as given, with a final Z and no conversion: 2024-06-24T10:11:12.345Z.
QString IsoLocalWithZ(const QDateTime& moment);

QString DataHora(const QDateTime& moment);  // 24/06/2024 10:11:12
// The same for an instant in milliseconds since the epoch, shown in local time. Formats once
// per second and thread: rules stamp every change of value with it.
QString DataHora(qint64 msecsSinceEpoch);
QString DiaHora(const QDateTime& moment);   // 24/06 10:11:12
QString DDMMYYYY(const QDate& day);         // 24062024
QString YYYYMMDD(const QDate& day);         // 20240624

// ISO 8601 date-time; a text without an offset is read as UTC. Throws MeltrixError.
QDateTime ParseIsoToUtc(const QString& text);

// The same instant as local time.
QDateTime ParseIsoToLocal(const QString& text);

// Standard (non-daylight) offset of the system zone from UTC, in minutes.
int StandardOffsetMinutes();

}  // namespace date_time
