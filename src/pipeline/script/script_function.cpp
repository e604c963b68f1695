#include "pipeline/script/script_function.h"

#include "pipeline/script/script_error.h"
#include "pipeline/script/script_operators.h"
#include "pipeline/script/script_parser.h"

const ScriptValue& NativeCall::argument(int index) const {
    return FArguments.at(static_cast<size_t>(index));
}

QString NativeCall::argumentAsText(int index) const { return argument(index).toText(); }

double NativeCall::argumentAsDouble(int index) const {
    return script_operators::ToDouble(argument(index));
}

qint64 NativeCall::argumentAsInteger(int index) const {
    return script_operators::ToInteger(argument(index));
}

void NativeCall::setReference(int index, const ScriptValue& value) const {
    const ValueRef& reference = FReferences.at(static_cast<size_t>(index));
    if (reference.slot == nullptr)
        throw ScriptValueError(QStringLiteral("Argument %1 is not passed by reference").arg(index + 1));
    *reference.slot = script_operators::ConvertTo(value, reference.type);
}

RegisteredFunction RegisterFunction(NativeFunction function) {
    std::vector<Parameter> parameters;
    try {
        parameters = ParseParameterDefinition(function.argumentDefinition);
    } catch (const ScriptCompileError& error) {
        throw MeltrixError(QStringLiteral("Native function %1: bad argument definition: %2")
                               .arg(function.name, error.message()));
    }
    if (static_cast<int>(parameters.size()) != function.argumentCount ||
        function.optionalCount < 0 || function.optionalCount > function.argumentCount)
        throw MeltrixError(QStringLiteral("Native function %1: %2 arguments with %3 optional do not "
                                          "match the definition \"%4\"")
                               .arg(function.name)
                               .arg(function.argumentCount)
                               .arg(function.optionalCount)
                               .arg(function.argumentDefinition));
    RegisteredFunction registered{std::move(function), {}};
    for (const Parameter& parameter : parameters) registered.byReference.push_back(parameter.byReference);
    return registered;
}
