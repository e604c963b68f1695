#pragma once

#include "pipeline/script/script_value.h"

#include <QString>

#include <functional>
#include <vector>

// The caller's variable behind a by-reference (var/out) argument, with the type that values
// written into it are converted to.
struct ValueRef {
    ScriptValue* slot = nullptr;
    ScriptType type = ScriptType::Variant;
};

// What a native function sees of one call: the arguments passed (trailing optional ones may
// be missing) and the caller's variables behind by-reference arguments.
class NativeCall {
public:
    NativeCall(const std::vector<ScriptValue>& arguments, const std::vector<ValueRef>& references)
        : FArguments(arguments), FReferences(references) {}

    int count() const { return static_cast<int>(FArguments.size()); }
    const ScriptValue& argument(int index) const;

    // VarToStr: Null gives "", numbers use the process-wide format.
    QString argumentAsText(int index) const;
    // Numbers and number texts; raises ScriptValueError for anything else.
    double argumentAsDouble(int index) const;
    qint64 argumentAsInteger(int index) const;

    // Writes into the caller's variable passed as by-reference argument `index`.
    void setReference(int index, const ScriptValue& value) const;

private:
    const std::vector<ScriptValue>& FArguments;
    const std::vector<ValueRef>& FReferences;
};

using NativeProcedure = std::function<ScriptValue(const NativeCall&)>;

// A function implemented in C++ and offered to scripts by name. The argument definition is
// written like a routine header's parameter list ("const AStr: string; out AValue: integer");
// its var/out parameters are the by-reference ones.
struct NativeFunction {
    QString name;
    int argumentCount = 0;
    int optionalCount = 0;  // the last optionalCount arguments may be left out
    QString argumentDefinition;
    NativeProcedure procedure;
};

// A native function ready to be called, with its by-reference parameters read from the
// definition.
struct RegisteredFunction {
    NativeFunction function;
    std::vector<bool> byReference;

    int requiredCount() const { return function.argumentCount - function.optionalCount; }
};

// Reads the argument definition and checks it against the counts. A definition that does not
// parse or does not match is a programming error: throws MeltrixError.
RegisteredFunction RegisterFunction(NativeFunction function);
