#include "pipeline/script/script_value.h"

#include "util/date_time.h"
#include "util/format_settings.h"

#include <QDate>
#include <QDateTime>

#include <cmath>

namespace {
constexpr double kLastDay = 2958465;  // 31/12/9999
constexpr double kFirstDay = -693593;  // 01/01/0001
constexpr qint64 kMillisecondsPerDay = 86400000;
}  // namespace

ScriptValue ScriptValue::Boolean(bool value) { return ScriptValue(Storage(value)); }
ScriptValue ScriptValue::Integer(qint64 value) { return ScriptValue(Storage(value)); }
ScriptValue ScriptValue::Double(double value) { return ScriptValue(Storage(value)); }
ScriptValue ScriptValue::String(QString value) { return ScriptValue(Storage(std::move(value))); }
ScriptValue ScriptValue::DateTime(double days) { return ScriptValue(Storage(Days{days})); }

bool ScriptValue::isNumber() const {
    const Kind current = kind();
    return current == Kind::Integer || current == Kind::Double || current == Kind::DateTime;
}

double ScriptValue::asDouble() const {
    if (const Days* days = std::get_if<Days>(&FValue)) return days->value;
    return std::get<double>(FValue);
}

QString ScriptValue::toText() const {
    switch (kind()) {
        case Kind::Null: return {};
        case Kind::Boolean: return asBoolean() ? QStringLiteral("True") : QStringLiteral("False");
        case Kind::Integer: return QString::number(asInteger());
        case Kind::Double: return format_settings::FloatToStr(asDouble());
        case Kind::String: return asString();
        case Kind::DateTime: return DateTimeToText(asDouble());
    }
    return {};
}

QString KindName(ScriptValue::Kind kind) {
    switch (kind) {
        case ScriptValue::Kind::Null: return QStringLiteral("Null");
        case ScriptValue::Kind::Boolean: return QStringLiteral("Boolean");
        case ScriptValue::Kind::Integer: return QStringLiteral("Int64");
        case ScriptValue::Kind::Double: return QStringLiteral("Double");
        case ScriptValue::Kind::String: return QStringLiteral("String");
        case ScriptValue::Kind::DateTime: return QStringLiteral("Date");
    }
    return {};
}

QString TypeName(ScriptType type) {
    switch (type) {
        case ScriptType::Variant: return QStringLiteral("Variant");
        case ScriptType::Integer: return QStringLiteral("Int64");
        case ScriptType::Double: return QStringLiteral("Double");
        case ScriptType::String: return QStringLiteral("String");
        case ScriptType::Boolean: return QStringLiteral("Boolean");
    }
    return {};
}

QString DateTimeToText(double days) {
    if (!(days >= kFirstDay && days < kLastDay + 1)) return format_settings::FloatToStr(days);
    const double whole = std::trunc(days);
    const qint64 milliseconds = std::llround(std::fabs(days - whole) * kMillisecondsPerDay);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
    if (milliseconds == 0) return date.toString(QStringLiteral("dd/MM/yyyy"));
    const QDateTime moment(date.addDays(milliseconds / kMillisecondsPerDay),
                           QTime::fromMSecsSinceStartOfDay(milliseconds % kMillisecondsPerDay));
    return date_time::DataHora(moment);
}
