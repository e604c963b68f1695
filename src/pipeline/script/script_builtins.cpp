#include "pipeline/script/script_builtins.h"

#include "pipeline/script/script_error.h"
#include "pipeline/script/script_operators.h"
#include "util/clock.h"
#include "util/format_settings.h"
#include "util/text.h"

#include <QDateTime>

#include <cmath>
#include <limits>

namespace {

using namespace script_operators;

// Ordinals of StringReplace's flags; a set constructor [rfReplaceAll, rfIgnoreCase] gives
// the bit mask.
constexpr qint64 kReplaceAll = 0;
constexpr qint64 kIgnoreCase = 1;

constexpr double kMillisecondsPerDay = 86400000.0;

ScriptValue Text(QString value) { return ScriptValue::String(std::move(value)); }

ScriptValue IntToStr(const NativeCall& call) {
    return Text(QString::number(call.argumentAsInteger(0)));
}

qint64 ParseInteger(const QString& text) {
    qint64 value = 0;
    if (!format_settings::TryStrToInteger(text, 64, value))
        throw ScriptValueError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

ScriptValue StrToInt(const NativeCall& call) {
    return ScriptValue::Integer(ParseInteger(call.argumentAsText(0)));
}

ScriptValue StrToIntDef(const NativeCall& call) {
    qint64 value = 0;
    if (format_settings::TryStrToInteger(call.argumentAsText(0), 64, value))
        return ScriptValue::Integer(value);
    return ScriptValue::Integer(call.argumentAsInteger(1));
}

ScriptValue FloatToStr(const NativeCall& call) {
    return Text(format_settings::FloatToStr(call.argumentAsDouble(0)));
}

ScriptValue StrToFloat(const NativeCall& call) {
    const QString text = call.argumentAsText(0);
    double value = 0;
    if (!format_settings::TryStrToFloat(text, value))
        throw ScriptValueError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return ScriptValue::Double(value);
}

ScriptValue StrToFloatDef(const NativeCall& call) {
    double value = 0;
    if (format_settings::TryStrToFloat(call.argumentAsText(0), value)) return ScriptValue::Double(value);
    return ScriptValue::Double(call.argumentAsDouble(1));
}

// Copy(S, Index [, Count]): 1-based; an index below 1 counts as 1, past the end gives "".
ScriptValue Copy(const NativeCall& call) {
    const QString text = call.argumentAsText(0);
    const qint64 index = std::max<qint64>(call.argumentAsInteger(1), 1);
    const qint64 count = call.count() > 2 ? call.argumentAsInteger(2) : text.size();
    if (index > text.size() || count <= 0) return Text(QString());
    return Text(text.mid(index - 1, std::min<qint64>(count, text.size())));
}

// Pos(Substr, S [, Offset]): 1-based position, 0 when absent or Substr is empty.
ScriptValue Pos(const NativeCall& call) {
    const QString part = call.argumentAsText(0);
    const QString text = call.argumentAsText(1);
    const qint64 offset = call.count() > 2 ? call.argumentAsInteger(2) : 1;
    if (part.isEmpty() || offset < 1 || offset > text.size()) return ScriptValue::Integer(0);
    return ScriptValue::Integer(text.indexOf(part, offset - 1) + 1);
}

ScriptValue Length(const NativeCall& call) {
    return ScriptValue::Integer(call.argumentAsText(0).size());
}

ScriptValue UpperCase(const NativeCall& call) { return Text(call.argumentAsText(0).toUpper()); }
ScriptValue LowerCase(const NativeCall& call) { return Text(call.argumentAsText(0).toLower()); }
ScriptValue Trim(const NativeCall& call) { return Text(text::Trim(call.argumentAsText(0))); }

// StringReplace(S, Old, New, Flags), Flags a set of rfReplaceAll and rfIgnoreCase.
ScriptValue StringReplace(const NativeCall& call) {
    QString text = call.argumentAsText(0);
    const QString from = call.argumentAsText(1);
    const QString to = call.argumentAsText(2);
    const qint64 flags = call.argumentAsInteger(3);
    const Qt::CaseSensitivity sensitivity =
        (flags & (qint64{1} << kIgnoreCase)) != 0 ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (from.isEmpty()) return Text(text);
    if ((flags & (qint64{1} << kReplaceAll)) == 0) {
        const qsizetype at = text.indexOf(from, 0, sensitivity);
        if (at < 0) return Text(text);
        return Text(Concatenate(Concatenate(text.left(at), to), text.mid(at + from.size())));
    }
    const qint64 growth = static_cast<qint64>(text.count(from, sensitivity)) * (to.size() - from.size());
    if (text.size() + growth > kMaxStringLength)
        throw ScriptValueError(QStringLiteral("String too long"));
    return Text(text.replace(from, to, sensitivity));
}

ScriptValue Round(const NativeCall& call) {
    const ScriptValue& value = call.argument(0);
    if (value.kind() == ScriptValue::Kind::Integer) return value;
    return ScriptValue::Integer(RoundToInteger(call.argumentAsDouble(0)));
}

ScriptValue Trunc(const NativeCall& call) {
    const ScriptValue& value = call.argument(0);
    if (value.kind() == ScriptValue::Kind::Integer) return value;
    return ScriptValue::Integer(TruncToInteger(call.argumentAsDouble(0)));
}

ScriptValue Abs(const NativeCall& call) {
    const ScriptValue& value = call.argument(0);
    if (value.kind() == ScriptValue::Kind::Integer)
        return value.asInteger() < 0 ? Negate(value) : value;
    return ScriptValue::Double(std::fabs(call.argumentAsDouble(0)));
}

ScriptValue Now(const NativeCall&) {
    const QDateTime now = Clock::now();
    const double days = static_cast<double>(QDate(1899, 12, 30).daysTo(now.date())) +
                        now.time().msecsSinceStartOfDay() / kMillisecondsPerDay;
    return ScriptValue::DateTime(days);
}

ScriptValue FormatFloat(const NativeCall& call) {
    return Text(format_settings::FormatFloat(call.argumentAsText(0), call.argumentAsDouble(1)));
}

ScriptValue VarIsNull(const NativeCall& call) {
    return ScriptValue::Boolean(call.argument(0).isNull());
}

ScriptValue VarToStr(const NativeCall& call) { return Text(call.argumentAsText(0)); }

ScriptValue Chr(const NativeCall& call) {
    const qint64 code = call.argumentAsInteger(0);
    if (code < 0 || code > 0xFFFF) throw ScriptValueError(QStringLiteral("Character code out of range"));
    return Text(QString(QChar(static_cast<char16_t>(code))));
}

ScriptValue Ord(const NativeCall& call) {
    const ScriptValue& value = call.argument(0);
    switch (value.kind()) {
        case ScriptValue::Kind::Boolean: return ScriptValue::Integer(value.asBoolean() ? 1 : 0);
        case ScriptValue::Kind::Integer: return value;
        case ScriptValue::Kind::String:
            if (value.asString().size() == 1) return ScriptValue::Integer(value.asString().at(0).unicode());
            break;
        default: break;
    }
    throw ScriptValueError(QStringLiteral("Ordinal type required"));
}

ScriptValue Step(const NativeCall& call, BinaryOperator op) {
    const ScriptValue amount = call.count() > 1 ? call.argument(1) : ScriptValue::Integer(1);
    call.setReference(0, Apply(op, call.argument(0), amount));
    return {};
}

ScriptValue Inc(const NativeCall& call) { return Step(call, BinaryOperator::Add); }
ScriptValue Dec(const NativeCall& call) { return Step(call, BinaryOperator::Subtract); }

NameMap<RegisteredFunction> MakeFunctions() {
    const NativeFunction definitions[] = {
        {"IntToStr", 1, 0, "Value: Int64", IntToStr},
        {"StrToInt", 1, 0, "const S: string", StrToInt},
        {"StrToIntDef", 2, 0, "const S: string; Default: Int64", StrToIntDef},
        {"FloatToStr", 1, 0, "Value: Double", FloatToStr},
        {"StrToFloat", 1, 0, "const S: string", StrToFloat},
        {"StrToFloatDef", 2, 0, "const S: string; const Default: Double", StrToFloatDef},
        {"Copy", 3, 1, "const S: string; Index: Integer; Count: Integer = MaxInt", Copy},
        {"Pos", 3, 1, "const SubStr, S: string; Offset: Integer = 1", Pos},
        {"Length", 1, 0, "const S: string", Length},
        {"UpperCase", 1, 0, "const S: string", UpperCase},
        {"LowerCase", 1, 0, "const S: string", LowerCase},
        {"Trim", 1, 0, "const S: string", Trim},
        {"StringReplace", 4, 0, "const S, OldPattern, NewPattern: string; Flags: Integer",
         StringReplace},
        {"Round", 1, 0, "X: Double", Round},
        {"Trunc", 1, 0, "X: Double", Trunc},
        {"Abs", 1, 0, "X: Variant", Abs},
        {"Now", 0, 0, "", Now},
        {"FormatFloat", 2, 0, "const Format: string; Value: Double", FormatFloat},
        {"VarIsNull", 1, 0, "const V: Variant", VarIsNull},
        {"VarToStr", 1, 0, "const V: Variant", VarToStr},
        {"Chr", 1, 0, "X: Integer", Chr},
        {"Ord", 1, 0, "X: Variant", Ord},
        {"Inc", 2, 1, "var X: Variant; N: Integer = 1", Inc},
        {"Dec", 2, 1, "var X: Variant; N: Integer = 1", Dec},
    };
    NameMap<RegisteredFunction> functions;
    for (const NativeFunction& definition : definitions)
        functions.emplace(definition.name, RegisterFunction(definition));
    return functions;
}

}  // namespace

const NameMap<RegisteredFunction>& BuiltinFunctions() {
    static const NameMap<RegisteredFunction> functions = MakeFunctions();
    return functions;
}

const NameMap<ScriptValue>& BuiltinConstants() {
    static const NameMap<ScriptValue> constants{
        {QStringLiteral("rfReplaceAll"), ScriptValue::Integer(kReplaceAll)},
        {QStringLiteral("rfIgnoreCase"), ScriptValue::Integer(kIgnoreCase)},
        {QStringLiteral("MaxInt"), ScriptValue::Integer(std::numeric_limits<qint32>::max())},
    };
    return constants;
}
