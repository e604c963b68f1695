#include "pipeline/script/script_error.h"

ScriptError::ScriptError(const QString& label, QString description, SourcePosition at)
    : MeltrixError(QStringLiteral("[%1] (%2:%3): %4")
                       .arg(label)
                       .arg(at.line)
                       .arg(at.column)
                       .arg(description)),
      FDescription(std::move(description)),
      FPosition(at) {}

ScriptCompileError::ScriptCompileError(QString description, SourcePosition at)
    : ScriptError(QStringLiteral("Error"), std::move(description), at) {}

ScriptRuntimeError::ScriptRuntimeError(QString description, SourcePosition at, Cause cause)
    : ScriptError(QStringLiteral("Runtime error"), std::move(description), at), FCause(cause) {}
