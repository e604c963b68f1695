#include "pipeline/script/script_tree.h"

void CheckArguments(const Expr& call, const QString& routineName, int requiredCount,
                    const std::vector<bool>& byReference) {
    const auto count = static_cast<qsizetype>(call.arguments.size());
    if (count < requiredCount)
        throw ScriptCompileError(
            QStringLiteral("Not enough actual parameters in call to '%1'").arg(routineName), call.at);
    if (count > static_cast<qsizetype>(byReference.size()))
        throw ScriptCompileError(
            QStringLiteral("Too many actual parameters in call to '%1'").arg(routineName), call.at);
    for (qsizetype i = 0; i < count; ++i) {
        const Expr& argument = *call.arguments[i];
        if (byReference[i] && (argument.kind != ExprKind::Variable || argument.readOnly))
            throw ScriptCompileError(QStringLiteral("Variable required"), argument.at);
    }
}
