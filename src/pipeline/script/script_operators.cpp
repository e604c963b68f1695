#include "pipeline/script/script_operators.h"

#include "pipeline/script/script_error.h"
#include "util/format_settings.h"

#include <cmath>

namespace script_operators {

namespace {

using Kind = ScriptValue::Kind;

[[noreturn]] void CannotConvert(const ScriptValue& value, const QString& target) {
    throw ScriptValueError(QStringLiteral("Could not convert variant of type (%1) into type (%2)")
                               .arg(KindName(value.kind()), target));
}

[[noreturn]] void DivisionByZero() { throw ScriptValueError(QStringLiteral("Division by zero")); }

[[noreturn]] void IntegerOverflow() { throw ScriptValueError(QStringLiteral("Integer overflow")); }

bool IsComparison(BinaryOperator op) { return op >= BinaryOperator::Equal; }

bool IsLogical(BinaryOperator op) {
    return op == BinaryOperator::And || op == BinaryOperator::Or || op == BinaryOperator::Xor;
}

// An Integer, Double or DateTime for arithmetic; texts convert, other kinds raise.
ScriptValue NumberOf(const ScriptValue& value) {
    if (value.isNumber()) return value;
    if (value.kind() == Kind::String) {
        qint64 integer = 0;
        if (format_settings::TryStrToInteger(value.asString(), 64, integer))
            return ScriptValue::Integer(integer);
        double real = 0;
        if (format_settings::TryStrToFloat(value.asString(), real)) return ScriptValue::Double(real);
    }
    CannotConvert(value, TypeName(ScriptType::Double));
}

double DoubleOf(const ScriptValue& number) {
    return number.kind() == Kind::Integer ? static_cast<double>(number.asInteger())
                                          : number.asDouble();
}

qint64 IntegerOperand(const ScriptValue& value) {
    const ScriptValue number = NumberOf(value);
    return number.kind() == Kind::Integer ? number.asInteger() : RoundToInteger(number.asDouble());
}

void CheckFinite(double value) {
    if (!std::isfinite(value)) throw ScriptValueError(QStringLiteral("Floating point overflow"));
}

qint64 IntegerArithmetic(BinaryOperator op, qint64 left, qint64 right) {
    qint64 result = 0;
    switch (op) {
        case BinaryOperator::Add:
            if (__builtin_add_overflow(left, right, &result)) IntegerOverflow();
            return result;
        case BinaryOperator::Subtract:
            if (__builtin_sub_overflow(left, right, &result)) IntegerOverflow();
            return result;
        case BinaryOperator::Multiply:
            if (__builtin_mul_overflow(left, right, &result)) IntegerOverflow();
            return result;
        case BinaryOperator::IntDivide:
            if (right == 0) DivisionByZero();
            if (right == -1) return IntegerArithmetic(BinaryOperator::Subtract, 0, left);
            return left / right;
        case BinaryOperator::Modulo:
            if (right == 0) DivisionByZero();
            return right == -1 ? 0 : left % right;
        case BinaryOperator::ShiftLeft:
            return static_cast<qint64>(static_cast<quint64>(left) << (right & 63));
        case BinaryOperator::ShiftRight:
            return static_cast<qint64>(static_cast<quint64>(left) >> (right & 63));
        case BinaryOperator::And: return left & right;
        case BinaryOperator::Or: return left | right;
        case BinaryOperator::Xor: return left ^ right;
        default: break;
    }
    throw ScriptValueError(QStringLiteral("Invalid variant operation"));
}

// Date + number and date - number stay dates; everything else is a plain Double.
bool GivesDate(BinaryOperator op, const ScriptValue& left, const ScriptValue& right) {
    const bool leftDate = left.kind() == Kind::DateTime;
    const bool rightDate = right.kind() == Kind::DateTime;
    if (op == BinaryOperator::Add) return leftDate != rightDate;
    return op == BinaryOperator::Subtract && leftDate && !rightDate;
}

ScriptValue DoubleArithmetic(BinaryOperator op, const ScriptValue& left, const ScriptValue& right) {
    const double x = DoubleOf(left);
    const double y = DoubleOf(right);
    double result = 0;
    switch (op) {
        case BinaryOperator::Add: result = x + y; break;
        case BinaryOperator::Subtract: result = x - y; break;
        case BinaryOperator::Multiply: result = x * y; break;
        case BinaryOperator::Divide:
            if (y == 0) DivisionByZero();
            result = x / y;
            break;
        default: throw ScriptValueError(QStringLiteral("Invalid variant operation"));
    }
    CheckFinite(result);
    return GivesDate(op, left, right) ? ScriptValue::DateTime(result) : ScriptValue::Double(result);
}

ScriptValue Logical(BinaryOperator op, const ScriptValue& left, const ScriptValue& right) {
    if (IsBooleanLike(left) && IsBooleanLike(right)) {
        const bool x = ToBoolean(left);
        const bool y = ToBoolean(right);
        if (op == BinaryOperator::And) return ScriptValue::Boolean(x && y);
        if (op == BinaryOperator::Or) return ScriptValue::Boolean(x || y);
        return ScriptValue::Boolean(x != y);
    }
    if (left.kind() == Kind::Boolean || right.kind() == Kind::Boolean)
        throw ScriptValueError(QStringLiteral("Invalid variant operation"));
    return ScriptValue::Integer(IntegerArithmetic(op, IntegerOperand(left), IntegerOperand(right)));
}

ScriptValue Arithmetic(BinaryOperator op, const ScriptValue& left, const ScriptValue& right) {
    switch (op) {
        case BinaryOperator::Divide:
            return DoubleArithmetic(op, NumberOf(left), NumberOf(right));
        case BinaryOperator::IntDivide:
        case BinaryOperator::Modulo:
        case BinaryOperator::ShiftLeft:
        case BinaryOperator::ShiftRight:
            return ScriptValue::Integer(
                IntegerArithmetic(op, IntegerOperand(left), IntegerOperand(right)));
        default: break;
    }
    const ScriptValue x = NumberOf(left);
    const ScriptValue y = NumberOf(right);
    if (x.kind() == Kind::Integer && y.kind() == Kind::Integer)
        return ScriptValue::Integer(IntegerArithmetic(op, x.asInteger(), y.asInteger()));
    return DoubleArithmetic(op, x, y);
}

template <typename T>
int Order(T left, T right) {
    return left < right ? -1 : (right < left ? 1 : 0);
}

bool ComparisonHolds(BinaryOperator op, int order) {
    switch (op) {
        case BinaryOperator::Equal: return order == 0;
        case BinaryOperator::NotEqual: return order != 0;
        case BinaryOperator::Less: return order < 0;
        case BinaryOperator::LessOrEqual: return order <= 0;
        case BinaryOperator::Greater: return order > 0;
        default: return order >= 0;
    }
}

}  // namespace

ScriptValue Apply(BinaryOperator op, const ScriptValue& left, const ScriptValue& right) {
    if (IsComparison(op)) return ScriptValue::Boolean(ComparisonHolds(op, Compare(left, right)));
    if (left.isNull() || right.isNull()) return {};
    if (op == BinaryOperator::Add && left.kind() == Kind::String && right.kind() == Kind::String)
        return ScriptValue::String(Concatenate(left.asString(), right.asString()));
    if (IsLogical(op)) return Logical(op, left, right);
    return Arithmetic(op, left, right);
}

ScriptValue Negate(const ScriptValue& value) {
    if (value.isNull()) return {};
    const ScriptValue number = NumberOf(value);
    switch (number.kind()) {
        case Kind::Integer:
            return ScriptValue::Integer(IntegerArithmetic(BinaryOperator::Subtract, 0,
                                                          number.asInteger()));
        case Kind::DateTime: return ScriptValue::DateTime(-number.asDouble());
        default: return ScriptValue::Double(-number.asDouble());
    }
}

ScriptValue Not(const ScriptValue& value) {
    if (value.isNull()) return {};
    if (IsBooleanLike(value)) return ScriptValue::Boolean(!ToBoolean(value));
    return ScriptValue::Integer(~IntegerOperand(value));
}

int Compare(const ScriptValue& left, const ScriptValue& right) {
    if (left.isNull() || right.isNull()) return Order(!left.isNull(), !right.isNull());
    if (left.kind() == Kind::String && right.kind() == Kind::String)
        return Order(QString::compare(left.asString(), right.asString()), 0);
    if (left.kind() == Kind::Boolean || right.kind() == Kind::Boolean)
        return Order(ToBoolean(left), ToBoolean(right));
    const ScriptValue x = NumberOf(left);
    const ScriptValue y = NumberOf(right);
    if (x.kind() == Kind::Integer && y.kind() == Kind::Integer)
        return Order(x.asInteger(), y.asInteger());
    return Order(DoubleOf(x), DoubleOf(y));
}

bool Equal(const ScriptValue& left, const ScriptValue& right) { return Compare(left, right) == 0; }

bool IsBooleanLike(const ScriptValue& value) {
    if (value.kind() == Kind::Boolean) return true;
    if (value.kind() != Kind::String) return false;
    return value.asString().compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 ||
           value.asString().compare(QLatin1String("False"), Qt::CaseInsensitive) == 0;
}

bool ToBoolean(const ScriptValue& value) {
    switch (value.kind()) {
        case Kind::Boolean: return value.asBoolean();
        case Kind::Integer: return value.asInteger() != 0;
        case Kind::Double: return value.asDouble() != 0;
        case Kind::String:
            if (IsBooleanLike(value))
                return value.asString().compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
            break;
        default: break;
    }
    CannotConvert(value, TypeName(ScriptType::Boolean));
}

qint64 ToInteger(const ScriptValue& value) {
    if (value.kind() == Kind::Integer) return value.asInteger();
    if (value.kind() == Kind::Double || value.kind() == Kind::DateTime)
        return RoundToInteger(value.asDouble());
    if (value.kind() == Kind::String) {
        qint64 integer = 0;
        if (format_settings::TryStrToInteger(value.asString(), 64, integer)) return integer;
        double real = 0;
        if (format_settings::TryStrToFloat(value.asString(), real)) return RoundToInteger(real);
    }
    CannotConvert(value, TypeName(ScriptType::Integer));
}

double ToDouble(const ScriptValue& value) {
    if (value.isNumber()) return DoubleOf(value);
    if (value.kind() == Kind::String) return DoubleOf(NumberOf(value));
    CannotConvert(value, TypeName(ScriptType::Double));
}

QString ToText(const ScriptValue& value) {
    if (value.isNull()) CannotConvert(value, TypeName(ScriptType::String));
    return value.toText();
}

ScriptValue ConvertTo(const ScriptValue& value, ScriptType type) {
    switch (type) {
        case ScriptType::Variant: return value;
        case ScriptType::Integer: return ScriptValue::Integer(ToInteger(value));
        case ScriptType::Double: return ScriptValue::Double(ToDouble(value));
        case ScriptType::String: return ScriptValue::String(ToText(value));
        case ScriptType::Boolean: return ScriptValue::Boolean(ToBoolean(value));
    }
    return value;
}

qint64 RoundToInteger(double value) { return TruncToInteger(std::nearbyint(value)); }

qint64 TruncToInteger(double value) {
    const double whole = std::trunc(value);
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (!(whole >= -kLimit && whole < kLimit)) IntegerOverflow();
    return static_cast<qint64>(whole);
}

QString Concatenate(const QString& left, const QString& right) {
    if (left.size() + right.size() > kMaxStringLength)
        throw ScriptValueError(QStringLiteral("String too long"));
    return left + right;
}

}  // namespace script_operators
