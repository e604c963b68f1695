#include "util/date_time.h"

#include "util/error.h"

#include <QTimeZone>

#include <limits>

namespace date_time {

namespace {
QString OffsetText(int offsetSeconds) {
    if (offsetSeconds == 0) return QStringLiteral("Z");
    const QChar sign = offsetSeconds < 0 ? u'-' : u'+';
    const int minutes = std::abs(offsetSeconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(sign)
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

QString IsoWithOffset(const QDateTime& moment) {
    return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           OffsetText(moment.offsetFromUtc());
}

QString IsoLocalWithZ(const QDateTime& moment) {
    return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + u'Z';
}

QString DataHora(const QDateTime& moment) {
    return moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

QString DataHora(qint64 msecsSinceEpoch) {
    thread_local qint64 formattedSecond = std::numeric_limits<qint64>::min();
    thread_local QString formatted;
    const qint64 second = msecsSinceEpoch >= 0 ? msecsSinceEpoch / 1000 : (msecsSinceEpoch - 999) / 1000;
    if (second != formattedSecond) {
        formatted = DataHora(QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch));
        formattedSecond = second;
    }
    return formatted;
}

QString DiaHora(const QDateTime& moment) {
    return moment.toString(QStringLiteral("dd/MM HH:mm:ss"));
}

QString DDMMYYYY(const QDate& day) { return day.toString(QStringLiteral("ddMMyyyy")); }

QString YYYYMMDD(const QDate& day) { return day.toString(QStringLiteral("yyyyMMdd")); }

QDateTime ParseIsoToUtc(const QString& text) {
    QDateTime parsed = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    if (!parsed.isValid())
        throw MeltrixError(QStringLiteral("\"%1\" is not a valid ISO 8601 date and time").arg(text));
    if (parsed.timeSpec() == Qt::LocalTime) parsed.setTimeZone(QTimeZone::utc());
    return parsed.toUTC();
}

QDateTime ParseIsoToLocal(const QString& text) { return ParseIsoToUtc(text).toLocalTime(); }

int StandardOffsetMinutes() {
    return QTimeZone::systemTimeZone().standardTimeOffset(QDateTime::currentDateTimeUtc()) / 60;
}

}  // namespace date_time
