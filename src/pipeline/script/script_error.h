#pragma once

#include "util/error.h"

#include <QString>

// Where in the script text something is: 1-based line and column (UTF-16 code units).
struct SourcePosition {
    int line = 1;
    int column = 1;
};

// A script failure with its place in the source. The message reads
// "[Error] (3:14): Undeclared identifier: 'x'" (compilation) or
// "[Runtime error] (3:14): Division by zero" (execution).
class ScriptError : public MeltrixError {
public:
    const QString& description() const noexcept { return FDescription; }
    int line() const noexcept { return FPosition.line; }
    int column() const noexcept { return FPosition.column; }

protected:
    ScriptError(const QString& label, QString description, SourcePosition at);

private:
    QString FDescription;
    SourcePosition FPosition;
};

// The script cannot run: syntax error, undeclared identifier, unknown function, wrong
// argument count, assignment to a constant.
class ScriptCompileError : public ScriptError {
public:
    ScriptCompileError(QString description, SourcePosition at);
};

// The script failed while running: type mismatch, division by zero, bad conversion, or one of
// the limits that keep a script from hanging or crashing the agent.
class ScriptRuntimeError : public ScriptError {
public:
    enum class Cause { Operation, LimitExceeded };

    ScriptRuntimeError(QString description, SourcePosition at, Cause cause = Cause::Operation);

    // Limits (statement budget, recursion, nesting) end the run: try/except does not catch them.
    bool limitExceeded() const noexcept { return FCause == Cause::LimitExceeded; }

private:
    Cause FCause;
};

// A failed operation on values, raised where the place is not known (conversions, operators,
// native functions); the interpreter turns it into a ScriptRuntimeError at the expression.
class ScriptValueError : public MeltrixError {
public:
    using MeltrixError::MeltrixError;
};
