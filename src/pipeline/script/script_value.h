#pragma once

#include <QString>

#include <variant>

// A value of the script language at run time: a variant as in Object Pascal. Dates are
// kept as Object Pascal TDateTime numbers (days since 30/12/1899) so that they take part in
// arithmetic and still print as dates.
class ScriptValue {
public:
    enum class Kind { Null, Boolean, Integer, Double, String, DateTime };

    ScriptValue() = default;  // Null
    static ScriptValue Boolean(bool value);
    static ScriptValue Integer(qint64 value);
    static ScriptValue Double(double value);
    static ScriptValue String(QString value);
    static ScriptValue DateTime(double days);

    Kind kind() const { return static_cast<Kind>(FValue.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isNumber() const;  // Integer, Double or DateTime

    // Raw accessors; each requires the matching kind (asDouble: Double or DateTime).
    bool asBoolean() const { return std::get<bool>(FValue); }
    qint64 asInteger() const { return std::get<qint64>(FValue); }
    double asDouble() const;
    const QString& asString() const { return std::get<QString>(FValue); }

    // Object Pascal VarToStr: Null gives "", numbers and dates use the process-wide formats.
    QString toText() const;

    bool operator==(const ScriptValue& other) const = default;

private:
    struct Days {
        double value;
        bool operator==(const Days&) const = default;
    };
    using Storage = std::variant<std::monostate, bool, qint64, double, QString, Days>;

    explicit ScriptValue(Storage value) : FValue(std::move(value)) {}

    Storage FValue;
};

// The declared types of variables and parameters; values are converted to them on assignment.
enum class ScriptType { Variant, Integer, Double, String, Boolean };

// The kind's name as the script's error messages show it ("String", "Int64", ...).
QString KindName(ScriptValue::Kind kind);
QString TypeName(ScriptType type);

// Object Pascal DateTimeToStr with the process-wide formats (date only when there is no time).
QString DateTimeToText(double days);
