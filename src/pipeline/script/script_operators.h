#pragma once

#include "pipeline/script/script_value.h"

// Variant arithmetic, comparison and conversion as in Object Pascal. Each operation throws
// ScriptValueError when the operands do not fit; the interpreter adds the place.
namespace script_operators {

enum class BinaryOperator {
    Add, Subtract, Multiply, Divide, IntDivide, Modulo, ShiftLeft, ShiftRight,
    And, Or, Xor,
    Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual,
};

// The longest text a script may build (UTF-16 code units): a few doublings must not exhaust
// the agent's memory.
constexpr qsizetype kMaxStringLength = qsizetype{1} << 24;

// Arithmetic: Null in gives Null out; text + text concatenates; text met with a number
// converts to a number. Integer arithmetic is checked for overflow, "/" always gives a
// Double. and/or/xor are logical on Booleans and bitwise on integers (no short-circuit here:
// the interpreter short-circuits).
ScriptValue Apply(BinaryOperator op, const ScriptValue& left, const ScriptValue& right);

ScriptValue Negate(const ScriptValue& value);
ScriptValue Not(const ScriptValue& value);

// Equality and ordering: Null equals only Null and sorts before every other value; texts
// compare by code unit; a text met with a number converts to a number.
bool Equal(const ScriptValue& left, const ScriptValue& right);
int Compare(const ScriptValue& left, const ScriptValue& right);

// True for Booleans and for the texts "True"/"False" (any case).
bool IsBooleanLike(const ScriptValue& value);

// Conversions. ToBoolean: Booleans, "True"/"False", numbers (non-zero is True).
// ToInteger: integers, Doubles rounded half to even, integer or number texts.
// ToDouble: numbers and number texts (decimal separator of the process-wide format).
// ToText: every kind but Null. Null converts to nothing and raises.
bool ToBoolean(const ScriptValue& value);
qint64 ToInteger(const ScriptValue& value);
double ToDouble(const ScriptValue& value);
QString ToText(const ScriptValue& value);

// The value as a variable of the declared type holds it.
ScriptValue ConvertTo(const ScriptValue& value, ScriptType type);

// Round half to even (Object Pascal Round), Trunc, and a checked text concatenation.
qint64 RoundToInteger(double value);
qint64 TruncToInteger(double value);
QString Concatenate(const QString& left, const QString& right);

}  // namespace script_operators
