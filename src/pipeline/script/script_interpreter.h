#pragma once

#include "pipeline/script/script_function.h"
#include "pipeline/script/script_tree.h"

#include <vector>

// What a run gives to each free name of the program: a constant's value, a native or built-in
// function, or both (a bare name prefers the constant, a call takes the function).
struct FreeNameBinding {
    const ScriptValue* value = nullptr;
    const RegisteredFunction* function = nullptr;
};

// The limits that turn runaway scripts into runtime errors.
struct ScriptLimits {
    qint64 statementBudget = 1'000'000;  // statements and loop iterations per run
    int maxCallDepth = 200;              // nested calls of script routines
    qptrdiff maxStackBytes = 2 * 1024 * 1024;  // machine stack one run may use
};

// Runs one bound program once: fresh variables, the program's Result as the outcome.
// Throws ScriptRuntimeError.
class ScriptInterpreter {
public:
    ScriptInterpreter(const ScriptProgram& program, const std::vector<FreeNameBinding>& bindings,
                      const ScriptLimits& limits);

    ScriptValue run();

private:
    enum class Flow { Normal, Break, Continue, Exit };

    struct Frame {
        const Routine* routine = nullptr;
        std::vector<ScriptValue> values;
        std::vector<ValueRef> references;  // set for by-reference parameters
    };

    Flow execute(const Stmt& statement);
    Flow dispatch(const Stmt& statement);
    Flow executeList(const StmtList& statements);
    Flow executeIf(const Stmt& statement);
    Flow executeCase(const Stmt& statement);
    Flow executeWhile(const Stmt& statement);
    Flow executeRepeat(const Stmt& statement);
    Flow executeFor(const Stmt& statement);
    Flow executeTryExcept(const Stmt& statement);
    Flow executeTryFinally(const Stmt& statement);
    Flow executeExit(const Stmt& statement);

    ScriptValue evaluate(const Expr& expression);
    ScriptValue evaluateNode(const Expr& expression);
    ScriptValue evaluateBinary(const Expr& expression);
    ScriptValue evaluateLogical(const Expr& expression);
    ScriptValue evaluateIndex(const Expr& expression);
    ScriptValue evaluateSetMask(const Expr& expression);
    bool matches(const ScriptValue& value, const std::vector<SetElement>& elements);
    bool condition(const Expr& expression);

    ScriptValue callRoutine(const Routine& routine, const Expr& call);
    ScriptValue callNative(const RegisteredFunction& function, const Expr& call);
    void bindArguments(const Routine& routine, const Expr& call, Frame& frame);
    void initializeLocals(const Routine& routine, Frame& frame);

    ValueRef resolve(const VariableRef& variable);
    void assign(const VariableRef& variable, const ScriptValue& value);
    void countStep(SourcePosition at);
    void checkStack(SourcePosition at) const;
    [[noreturn]] void limitExceeded(const QString& description, SourcePosition at) const;

    const ScriptProgram& FProgram;
    const std::vector<FreeNameBinding>& FBindings;
    const ScriptLimits FLimits;
    std::vector<ScriptValue> FGlobals;
    Frame* FFrame = nullptr;
    qint64 FSteps = 0;
    int FCallDepth = 0;
    const char* FStackBase = nullptr;
};
