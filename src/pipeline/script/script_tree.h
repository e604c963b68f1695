#pragma once

#include "pipeline/script/script_error.h"
#include "pipeline/script/script_operators.h"
#include "pipeline/script/script_value.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

// The parsed form of a script. It is immutable once parsed and shared by every engine that
// runs the same text; names the script does not declare (the engine's constants and
// functions) are left as numbered free names that each run binds.

struct Expr;
struct Stmt;
using ExprPtr = std::unique_ptr<Expr>;
using StmtPtr = std::unique_ptr<Stmt>;
using StmtList = std::vector<StmtPtr>;

// A declared variable: a slot of the program (globals) or of the running routine's frame.
struct VariableRef {
    bool local = false;
    int slot = 0;
};

// One element of a set constructor or case label: a value or a range low..high.
struct SetElement {
    ExprPtr low;
    ExprPtr high;  // null for a single value
};

enum class ExprKind {
    Literal,     // literal
    Variable,    // variable
    FreeValue,   // freeName used as a value: an engine constant or a function without arguments
    Call,        // routine (user function) or freeName (native or built-in), with arguments
    Negate,      // -left
    Not,         // not left
    Binary,      // left op right; and/or short-circuit on Booleans
    Index,       // left[right]: one character of a text, 1-based
    InSet,       // left in [elements]
    SetLiteral,  // [elements] as a bit mask of small ordinals
};

struct Expr {
    ExprKind kind = ExprKind::Literal;
    SourcePosition at;
    int depth = 1;  // height of the subtree, bounded so that evaluation cannot overflow the stack
    ScriptValue literal;
    VariableRef variable;
    bool readOnly = false;  // a Variable that is a script constant
    int freeName = -1;
    int routine = -1;
    script_operators::BinaryOperator op = script_operators::BinaryOperator::Add;
    ExprPtr left;
    ExprPtr right;
    std::vector<ExprPtr> arguments;
    std::vector<SetElement> elements;
};

enum class StmtKind {
    Empty, Assign, Call, If, Case, While, Repeat, For, Block, Exit, Break, Continue,
    TryExcept, TryFinally,
};

struct CaseBranch {
    std::vector<SetElement> labels;
    StmtPtr body;
};

struct Stmt {
    StmtKind kind = StmtKind::Empty;
    SourcePosition at;
    VariableRef target;      // Assign, For
    ExprPtr value;           // Assign, Call, Exit (optional), If/While/Repeat condition, Case selector, For start
    ExprPtr limit;           // For
    bool downto = false;     // For
    StmtPtr body;            // If (then), While, For
    StmtPtr otherwise;       // If (else)
    StmtList statements;     // Block, Repeat, Try (protected part), Case (else part)
    StmtList handler;        // TryExcept (except part), TryFinally (finally part)
    std::vector<CaseBranch> branches;
};

struct VariableDecl {
    QString name;
    ScriptType type = ScriptType::Variant;
    ExprPtr initializer;  // null: the type's default
    bool constant = false;
    SourcePosition at;
};

struct Parameter {
    QString name;
    ScriptType type = ScriptType::Variant;
    bool byReference = false;  // var/out
    ExprPtr defaultValue;      // null: required
};

// A function or procedure of the script. Frame slots: 0 = Result, then the parameters, then
// the local variables.
struct Routine {
    QString name;
    SourcePosition at;
    bool isFunction = false;
    std::vector<Parameter> parameters;
    int requiredCount = 0;
    std::vector<VariableDecl> locals;  // slots after the parameters
    std::vector<ScriptType> slotTypes;
    StmtList body;
};

// A name the script uses without declaring it, resolved when a run binds the program.
struct FreeName {
    QString name;
    SourcePosition firstUse;
    bool usedAsValue = false;
    std::optional<SourcePosition> assignedAt;  // a free name can never be assigned
    std::vector<const Expr*> calls;            // call sites, to check their arguments
};

// Checks the arguments of a call against a routine's parameters: their number, and that every
// by-reference argument is a variable. Throws ScriptCompileError.
void CheckArguments(const Expr& call, const QString& routineName, int requiredCount,
                    const std::vector<bool>& byReference);

struct ScriptProgram {
    std::vector<VariableDecl> globals;  // slot 0 is the program's Result
    std::vector<Routine> routines;
    StmtList main;
    std::vector<FreeName> freeNames;
};
