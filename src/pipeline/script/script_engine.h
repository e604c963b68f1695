#pragma once

#include "pipeline/script/script_function.h"
#include "pipeline/script/script_interpreter.h"
#include "pipeline/script/script_names.h"
#include "pipeline/script/script_tree.h"
#include "pipeline/script/script_value.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The script engine: runs a Pascal-like script text with named constants and native
// functions and returns the script's Result.
//
// The language, case-insensitive:
//   program      [var/const sections] [function/procedure declarations], then a begin..end
//                block (final "." optional) or a bare statement list; Result is the outcome
//   types        integer int64 cardinal longint word byte | double real extended currency
//                single | string char | boolean | variant tdatetime; values are variants and
//                a typed variable converts what is assigned to it
//   statements   := if case while repeat for..to/downto begin..end try..except/finally
//                exit[(value)] break continue, routine calls (var/out parameters, defaults)
//   expressions  + - * / div mod and or xor not shl shr = <> < <= > >= in, s[i], [a, b..c],
//                'it''s'#13#10, 42, $FF, 1.5E3, True, False, Null
//   names        a script's own declarations hide the engine's constants; a bare name
//                prefers a constant over a function without arguments
//
// The parsed form of a text comes from the process-wide cache, so a run only binds the
// constants and functions and executes. One instance is used by one thread at a time;
// different instances may run on different threads.
class ScriptEngine {
public:
    ScriptEngine();
    virtual ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Replaces the script text.
    void setSource(const QString& source);

    // Defines (or redefines) a constant the script sees as a read-only name. Names are
    // case-insensitive; a script's own declarations hide a constant of the same name.
    void defineConstant(const QString& name, const ScriptValue& value);
    void clearConstants();

    // Answers constants that are not defined, when a run reads them: a script then pays
    // only for the names it uses, however many values could be asked for.
    using ConstantResolver = std::function<std::optional<ScriptValue>(const QString& name)>;
    void setConstantResolver(ConstantResolver resolver) { FResolver = std::move(resolver); }

    // Offers a native function to scripts; replaces one of the same name. Natives hide
    // built-ins of the same name. Throws MeltrixError for a definition that does not match
    // its counts.
    void defineFunction(NativeFunction function);

    // Compiles (from the cache) and runs the script; returns its Result (Null unless assigned).
    // Throws ScriptCompileError or ScriptRuntimeError. Not re-entrant: a native function must
    // not run its own engine.
    ScriptValue execute();

private:
    void bind(const ScriptProgram& program);
    void bindName(const FreeName& name, FreeNameBinding& binding) const;
    const ScriptValue* findConstant(const QString& name) const;
    const RegisteredFunction* findFunction(const QString& name) const;

    QString FSource;
    std::shared_ptr<const ScriptProgram> FProgram;  // of FSource, once compiled
    NameMap<size_t> FConstantSlots;
    std::vector<ScriptValue> FConstants;
    NameMap<RegisteredFunction> FFunctions;
    ConstantResolver FResolver;
    mutable std::deque<ScriptValue> FResolved;  // answers of the resolver for the current run
    std::vector<FreeNameBinding> FBindings;
    const ScriptLimits FLimits;
};
