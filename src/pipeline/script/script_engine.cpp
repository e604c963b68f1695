#include "pipeline/script/script_engine.h"

#include "pipeline/script/script_builtins.h"
#include "pipeline/script/script_cache.h"
#include "pipeline/script/script_error.h"

ScriptEngine::ScriptEngine() = default;
ScriptEngine::~ScriptEngine() = default;

void ScriptEngine::setSource(const QString& source) {
    if (FProgram && source == FSource) return;
    FSource = source;
    FProgram.reset();
}

void ScriptEngine::defineConstant(const QString& name, const ScriptValue& value) {
    const auto found = FConstantSlots.find(name);
    if (found != FConstantSlots.end()) {
        FConstants[found->second] = value;
        return;
    }
    FConstantSlots.emplace(name, FConstants.size());
    FConstants.push_back(value);
}

void ScriptEngine::clearConstants() {
    FConstantSlots.clear();
    FConstants.clear();
}

void ScriptEngine::defineFunction(NativeFunction function) {
    const QString name = function.name;
    FFunctions.insert_or_assign(name, RegisterFunction(std::move(function)));
}

ScriptValue ScriptEngine::execute() {
    if (!FProgram) FProgram = script_cache::Obtain(FSource);
    const std::shared_ptr<const ScriptProgram> program = FProgram;
    bind(*program);
    return ScriptInterpreter(*program, FBindings, FLimits).run();
}

void ScriptEngine::bind(const ScriptProgram& program) {
    FResolved.clear();
    FBindings.assign(program.freeNames.size(), FreeNameBinding{});
    for (size_t index = 0; index < program.freeNames.size(); ++index)
        bindName(program.freeNames[index], FBindings[index]);
}

// Resolves one free name, with the checks a compiler makes: the name exists, is not assigned,
// and every call passes a fitting number of arguments.
void ScriptEngine::bindName(const FreeName& name, FreeNameBinding& binding) const {
    if (name.usedAsValue || name.assignedAt) binding.value = findConstant(name.name);
    if (!name.calls.empty() || (name.usedAsValue && binding.value == nullptr))
        binding.function = findFunction(name.name);
    if (name.assignedAt) {
        const QString description = binding.value != nullptr ? QStringLiteral("Cannot assign to a constant: '%1'")
                                                              : QStringLiteral("Undeclared identifier: '%1'");
        throw ScriptCompileError(description.arg(name.name), *name.assignedAt);
    }
    if (name.usedAsValue && binding.value == nullptr) {
        if (binding.function == nullptr)
            throw ScriptCompileError(QStringLiteral("Undeclared identifier: '%1'").arg(name.name),
                                     name.firstUse);
        if (binding.function->requiredCount() > 0)
            throw ScriptCompileError(
                QStringLiteral("Not enough actual parameters in call to '%1'").arg(name.name),
                name.firstUse);
    }
    if (name.calls.empty()) return;
    if (binding.function == nullptr)
        throw ScriptCompileError(QStringLiteral("Unknown function: '%1'").arg(name.name),
                                 name.calls.front()->at);
    for (const Expr* call : name.calls)
        CheckArguments(*call, name.name, binding.function->requiredCount(), binding.function->byReference);
}

const ScriptValue* ScriptEngine::findConstant(const QString& name) const {
    const auto found = FConstantSlots.find(name);
    if (found != FConstantSlots.end()) return &FConstants[found->second];
    if (FResolver) {
        if (std::optional<ScriptValue> resolved = FResolver(name)) return &FResolved.emplace_back(std::move(*resolved));
    }
    const auto builtin = BuiltinConstants().find(name);
    return builtin != BuiltinConstants().end() ? &builtin->second : nullptr;
}

const RegisteredFunction* ScriptEngine::findFunction(const QString& name) const {
    const auto found = FFunctions.find(name);
    if (found != FFunctions.end()) return &found->second;
    const auto builtin = BuiltinFunctions().find(name);
    return builtin != BuiltinFunctions().end() ? &builtin->second : nullptr;
}
