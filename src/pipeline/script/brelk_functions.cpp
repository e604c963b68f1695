#include "pipeline/script/brelk_functions.h"

#include "pipeline/script/script_engine.h"
#include "util/format_settings.h"
#include "util/text.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace brelk_functions {

bool StringComparar(const QString& first, const QString& second) {
    const QLocale locale = QLocale::system();
    return locale.toUpper(text::Trim(first)) == locale.toUpper(text::Trim(second));
}

double StringToDouble(const QString& text, double defaultValue) {
    QString number = text;
    number.replace(u'.', u',');
    double value = 0;
    return format_settings::TryStrToFloat(number, value) ? value : defaultValue;
}

bool StringVazia(const QString& text) { return text::Trim(text).isEmpty(); }

bool TryStrToInt(const QString& text, int& value) {
    qint64 converted = 0;
    if (!format_settings::TryStrToInteger(text, 32, converted)) return false;
    value = static_cast<int>(converted);
    return true;
}

double ArredondaFloat(const QString& text) {
    // 0.29 * 100 is 28.999999999999996 in binary: a product that is a whole number but for
    // representation error counts as that whole number, or 0.29 would be cut to 0.28.
    const double hundredths = StringToDouble(text, -1.0) * 100;
    const double nearest = std::round(hundredths);
    const bool wholeButForRepresentation = std::abs(hundredths - nearest) <= 1e-9 * std::max(1.0, std::abs(nearest));
    return (wholeButForRepresentation ? nearest : std::trunc(hundredths)) / 100;
}

}  // namespace brelk_functions

namespace {

ScriptValue StringComparar(const NativeCall& call) {
    return ScriptValue::Boolean(
        brelk_functions::StringComparar(call.argumentAsText(0), call.argumentAsText(1)));
}

ScriptValue StringToDouble(const NativeCall& call) {
    const double defaultValue = call.count() > 1 ? call.argumentAsDouble(1) : 0;
    return ScriptValue::Double(brelk_functions::StringToDouble(call.argumentAsText(0), defaultValue));
}

ScriptValue StringVazia(const NativeCall& call) {
    return ScriptValue::Boolean(brelk_functions::StringVazia(call.argumentAsText(0)));
}

ScriptValue TryStrToInt(const NativeCall& call) {
    int value = 0;
    if (!brelk_functions::TryStrToInt(call.argumentAsText(0), value)) return ScriptValue::Boolean(false);
    call.setReference(1, ScriptValue::Integer(value));
    return ScriptValue::Boolean(true);
}

ScriptValue ArredondaFloat(const NativeCall& call) {
    return ScriptValue::Double(brelk_functions::ArredondaFloat(call.argumentAsText(0)));
}

}  // namespace

void RegisterBrelkFunctions(ScriptEngine& engine) {
    engine.defineFunction({"StringComparar", 2, 0, "const AStr1, pStr2: string", StringComparar});
    engine.defineFunction({"StringToDouble", 2, 1, "const AStr: string; const ADefault: Double = 0",
                           StringToDouble});
    engine.defineFunction({"StringVazia", 1, 0, "const AStr: string", StringVazia});
    engine.defineFunction({"TryStrToInt", 2, 0, "const AStr: string; out AValue: integer", TryStrToInt});
    engine.defineFunction({"ArredondaFloat", 1, 0, "const AStr: string", ArredondaFloat});
}
