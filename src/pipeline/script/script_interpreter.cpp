#include "pipeline/script/script_interpreter.h"

#include "pipeline/script/script_error.h"
#include "pipeline/script/script_operators.h"

#include <cstdlib>

namespace {

using namespace script_operators;

ScriptValue DefaultValue(ScriptType type) {
    switch (type) {
        case ScriptType::Integer: return ScriptValue::Integer(0);
        case ScriptType::Double: return ScriptValue::Double(0);
        case ScriptType::String: return ScriptValue::String(QString());
        case ScriptType::Boolean: return ScriptValue::Boolean(false);
        case ScriptType::Variant: break;
    }
    return {};
}

const char* StackPosition() { return static_cast<const char*>(__builtin_frame_address(0)); }

}  // namespace

ScriptInterpreter::ScriptInterpreter(const ScriptProgram& program,
                                     const std::vector<FreeNameBinding>& bindings,
                                     const ScriptLimits& limits)
    : FProgram(program), FBindings(bindings), FLimits(limits) {}

ScriptValue ScriptInterpreter::run() {
    FStackBase = StackPosition();
    FGlobals.reserve(FProgram.globals.size());
    for (const VariableDecl& global : FProgram.globals) FGlobals.push_back(DefaultValue(global.type));
    for (size_t slot = 0; slot < FProgram.globals.size(); ++slot) {
        const VariableDecl& global = FProgram.globals[slot];
        if (!global.initializer) continue;
        const ScriptValue value = evaluate(*global.initializer);
        try {
            FGlobals[slot] = ConvertTo(value, global.type);
        } catch (const ScriptValueError& error) {
            throw ScriptRuntimeError(error.message(), global.at);
        }
    }
    executeList(FProgram.main);
    return FGlobals.front();
}

// ---- statements ----

ScriptInterpreter::Flow ScriptInterpreter::execute(const Stmt& statement) {
    countStep(statement.at);
    try {
        return dispatch(statement);
    } catch (const ScriptValueError& error) {
        throw ScriptRuntimeError(error.message(), statement.at);
    }
}

ScriptInterpreter::Flow ScriptInterpreter::dispatch(const Stmt& statement) {
    switch (statement.kind) {
        case StmtKind::Empty: return Flow::Normal;
        case StmtKind::Assign:
            assign(statement.target, evaluate(*statement.value));
            return Flow::Normal;
        case StmtKind::Call:
            evaluate(*statement.value);
            return Flow::Normal;
        case StmtKind::If: return executeIf(statement);
        case StmtKind::Case: return executeCase(statement);
        case StmtKind::While: return executeWhile(statement);
        case StmtKind::Repeat: return executeRepeat(statement);
        case StmtKind::For: return executeFor(statement);
        case StmtKind::Block: return executeList(statement.statements);
        case StmtKind::Exit: return executeExit(statement);
        case StmtKind::Break: return Flow::Break;
        case StmtKind::Continue: return Flow::Continue;
        case StmtKind::TryExcept: return executeTryExcept(statement);
        case StmtKind::TryFinally: return executeTryFinally(statement);
    }
    return Flow::Normal;
}

ScriptInterpreter::Flow ScriptInterpreter::executeList(const StmtList& statements) {
    for (const StmtPtr& statement : statements) {
        const Flow flow = execute(*statement);
        if (flow != Flow::Normal) return flow;
    }
    return Flow::Normal;
}

ScriptInterpreter::Flow ScriptInterpreter::executeIf(const Stmt& statement) {
    if (condition(*statement.value)) return execute(*statement.body);
    return statement.otherwise ? execute(*statement.otherwise) : Flow::Normal;
}

ScriptInterpreter::Flow ScriptInterpreter::executeCase(const Stmt& statement) {
    const ScriptValue selector = evaluate(*statement.value);
    for (const CaseBranch& branch : statement.branches)
        if (matches(selector, branch.labels)) return execute(*branch.body);
    return executeList(statement.statements);
}

ScriptInterpreter::Flow ScriptInterpreter::executeWhile(const Stmt& statement) {
    while (condition(*statement.value)) {
        const Flow flow = execute(*statement.body);
        if (flow == Flow::Break) break;
        if (flow == Flow::Exit) return flow;
    }
    return Flow::Normal;
}

ScriptInterpreter::Flow ScriptInterpreter::executeRepeat(const Stmt& statement) {
    do {
        const Flow flow = executeList(statement.statements);
        if (flow == Flow::Break) break;
        if (flow == Flow::Exit) return flow;
    } while (!condition(*statement.value));
    return Flow::Normal;
}

ScriptInterpreter::Flow ScriptInterpreter::executeFor(const Stmt& statement) {
    const qint64 start = ToInteger(evaluate(*statement.value));
    const qint64 limit = ToInteger(evaluate(*statement.limit));
    if (statement.downto ? start < limit : start > limit) return Flow::Normal;
    // The counter moves toward the limit and stops on it, so it never overflows.
    for (qint64 counter = start;; counter += statement.downto ? -1 : 1) {
        assign(statement.target, ScriptValue::Integer(counter));
        const Flow flow = execute(*statement.body);
        if (flow == Flow::Break) break;
        if (flow == Flow::Exit) return flow;
        if (counter == limit) break;
    }
    return Flow::Normal;
}

ScriptInterpreter::Flow ScriptInterpreter::executeTryExcept(const Stmt& statement) {
    try {
        return executeList(statement.statements);
    } catch (const ScriptRuntimeError& error) {
        if (error.limitExceeded()) throw;
    }
    return executeList(statement.handler);
}

ScriptInterpreter::Flow ScriptInterpreter::executeTryFinally(const Stmt& statement) {
    Flow flow = Flow::Normal;
    try {
        flow = executeList(statement.statements);
    } catch (...) {
        executeList(statement.handler);
        throw;
    }
    const Flow after = executeList(statement.handler);
    return after != Flow::Normal ? after : flow;
}

ScriptInterpreter::Flow ScriptInterpreter::executeExit(const Stmt& statement) {
    if (statement.value) assign(VariableRef{FFrame != nullptr, 0}, evaluate(*statement.value));
    return Flow::Exit;
}

// ---- expressions ----

ScriptValue ScriptInterpreter::evaluate(const Expr& expression) {
    checkStack(expression.at);
    try {
        return evaluateNode(expression);
    } catch (const ScriptValueError& error) {
        throw ScriptRuntimeError(error.message(), expression.at);
    }
}

ScriptValue ScriptInterpreter::evaluateNode(const Expr& expression) {
    switch (expression.kind) {
        case ExprKind::Literal: return expression.literal;
        case ExprKind::Variable: return *resolve(expression.variable).slot;
        case ExprKind::FreeValue: {
            const FreeNameBinding& binding = FBindings[static_cast<size_t>(expression.freeName)];
            return binding.value != nullptr ? *binding.value : callNative(*binding.function, expression);
        }
        case ExprKind::Call:
            if (expression.routine >= 0)
                return callRoutine(FProgram.routines[static_cast<size_t>(expression.routine)], expression);
            return callNative(*FBindings[static_cast<size_t>(expression.freeName)].function, expression);
        case ExprKind::Negate: return Negate(evaluate(*expression.left));
        case ExprKind::Not: return Not(evaluate(*expression.left));
        case ExprKind::Binary:
            if (expression.op == BinaryOperator::And || expression.op == BinaryOperator::Or)
                return evaluateLogical(expression);
            return evaluateBinary(expression);
        case ExprKind::Index: return evaluateIndex(expression);
        case ExprKind::InSet:
            return ScriptValue::Boolean(matches(evaluate(*expression.left), expression.elements));
        case ExprKind::SetLiteral: return evaluateSetMask(expression);
    }
    return {};
}

ScriptValue ScriptInterpreter::evaluateBinary(const Expr& expression) {
    const ScriptValue left = evaluate(*expression.left);  // left first, as written
    const ScriptValue right = evaluate(*expression.right);
    return Apply(expression.op, left, right);
}

// Booleans short-circuit; integers combine bit by bit.
ScriptValue ScriptInterpreter::evaluateLogical(const Expr& expression) {
    const ScriptValue left = evaluate(*expression.left);
    if (!IsBooleanLike(left)) {
        const ScriptValue right = evaluate(*expression.right);
        return Apply(expression.op, left, right);
    }
    const bool isAnd = expression.op == BinaryOperator::And;
    if (ToBoolean(left) != isAnd) return ScriptValue::Boolean(!isAnd);
    const ScriptValue right = evaluate(*expression.right);
    if (right.isNull()) return right;
    return ScriptValue::Boolean(ToBoolean(right));
}

ScriptValue ScriptInterpreter::evaluateIndex(const Expr& expression) {
    const QString text = ToText(evaluate(*expression.left));
    const qint64 index = ToInteger(evaluate(*expression.right));
    if (index < 1 || index > text.size())
        throw ScriptValueError(QStringLiteral("String index out of range"));
    return ScriptValue::String(text.mid(index - 1, 1));
}

ScriptValue ScriptInterpreter::evaluateSetMask(const Expr& expression) {
    qint64 mask = 0;
    for (const SetElement& element : expression.elements) {
        const qint64 low = ToInteger(evaluate(*element.low));
        const qint64 high = element.high ? ToInteger(evaluate(*element.high)) : low;
        if (low < 0 || high > 63)
            throw ScriptValueError(QStringLiteral("Set element out of range (0..63)"));
        for (qint64 bit = low; bit <= high; ++bit) mask |= qint64{1} << bit;
    }
    return ScriptValue::Integer(mask);
}

bool ScriptInterpreter::matches(const ScriptValue& value, const std::vector<SetElement>& elements) {
    for (const SetElement& element : elements) {
        const ScriptValue low = evaluate(*element.low);
        if (!element.high) {
            if (Equal(value, low)) return true;
        } else if (Compare(value, low) >= 0 && Compare(value, evaluate(*element.high)) <= 0) {
            return true;
        }
    }
    return false;
}

bool ScriptInterpreter::condition(const Expr& expression) {
    const ScriptValue value = evaluate(expression);
    try {
        return ToBoolean(value);
    } catch (const ScriptValueError& error) {
        throw ScriptRuntimeError(error.message(), expression.at);
    }
}

// ---- calls ----

ScriptValue ScriptInterpreter::callRoutine(const Routine& routine, const Expr& call) {
    if (FCallDepth >= FLimits.maxCallDepth)
        limitExceeded(QStringLiteral("Recursion too deep: more than %1 nested calls")
                          .arg(FLimits.maxCallDepth),
                      call.at);
    Frame frame;
    frame.routine = &routine;
    bindArguments(routine, call, frame);

    // Restores the caller's frame however the routine ends.
    struct ActiveFrame {
        ScriptInterpreter& interpreter;
        Frame* caller;
        ~ActiveFrame() {
            interpreter.FFrame = caller;
            --interpreter.FCallDepth;
        }
    } active{*this, FFrame};
    ++FCallDepth;
    FFrame = &frame;
    initializeLocals(routine, frame);
    executeList(routine.body);
    return routine.isFunction ? frame.values.front() : ScriptValue();
}

// Arguments are evaluated in the caller's frame, before the routine's frame becomes active.
void ScriptInterpreter::bindArguments(const Routine& routine, const Expr& call, Frame& frame) {
    frame.values.resize(routine.slotTypes.size());
    frame.references.resize(routine.slotTypes.size());
    frame.values.front() = DefaultValue(routine.slotTypes.front());
    for (size_t index = 0; index < routine.parameters.size(); ++index) {
        const Parameter& parameter = routine.parameters[index];
        const size_t slot = index + 1;
        if (index >= call.arguments.size()) {
            frame.values[slot] = ConvertTo(evaluate(*parameter.defaultValue), parameter.type);
        } else if (parameter.byReference) {
            frame.references[slot] = resolve(call.arguments[index]->variable);
        } else {
            frame.values[slot] = ConvertTo(evaluate(*call.arguments[index]), parameter.type);
        }
    }
}

void ScriptInterpreter::initializeLocals(const Routine& routine, Frame& frame) {
    const size_t first = routine.parameters.size() + 1;
    for (size_t index = 0; index < routine.locals.size(); ++index) {
        const VariableDecl& local = routine.locals[index];
        frame.values[first + index] = local.initializer
                                          ? ConvertTo(evaluate(*local.initializer), local.type)
                                          : DefaultValue(local.type);
    }
}

ScriptValue ScriptInterpreter::callNative(const RegisteredFunction& function, const Expr& call) {
    const size_t count = call.arguments.size();
    std::vector<ScriptValue> values;
    values.reserve(count);
    std::vector<ValueRef> references(count);
    for (size_t index = 0; index < count; ++index) {
        const Expr& argument = *call.arguments[index];
        if (index < function.byReference.size() && function.byReference[index]) {
            references[index] = resolve(argument.variable);
            values.push_back(*references[index].slot);
        } else {
            values.push_back(evaluate(argument));
        }
    }
    try {
        return function.function.procedure(NativeCall(values, references));
    } catch (const ScriptError&) {
        throw;
    } catch (const ScriptValueError&) {
        throw;
    } catch (const MeltrixError& error) {
        throw ScriptValueError(error.message());
    } catch (const std::exception& error) {
        throw ScriptValueError(QStringLiteral("%1: %2").arg(function.function.name,
                                                            QString::fromUtf8(error.what())));
    }
}

// ---- variables and limits ----

ValueRef ScriptInterpreter::resolve(const VariableRef& variable) {
    const auto slot = static_cast<size_t>(variable.slot);
    if (!variable.local) return ValueRef{&FGlobals[slot], FProgram.globals[slot].type};
    const ValueRef& reference = FFrame->references[slot];
    if (reference.slot != nullptr) return reference;
    return ValueRef{&FFrame->values[slot], FFrame->routine->slotTypes[slot]};
}

void ScriptInterpreter::assign(const VariableRef& variable, const ScriptValue& value) {
    const ValueRef target = resolve(variable);
    *target.slot = ConvertTo(value, target.type);
}

void ScriptInterpreter::countStep(SourcePosition at) {
    if (++FSteps > FLimits.statementBudget)
        limitExceeded(QStringLiteral("Statement budget exceeded: more than %1 statements")
                          .arg(FLimits.statementBudget),
                      at);
}

void ScriptInterpreter::checkStack(SourcePosition at) const {
    if (std::abs(FStackBase - StackPosition()) > FLimits.maxStackBytes)
        limitExceeded(QStringLiteral("Script nested too deeply"), at);
}

void ScriptInterpreter::limitExceeded(const QString& description, SourcePosition at) const {
    throw ScriptRuntimeError(description, at, ScriptRuntimeError::Cause::LimitExceeded);
}
