#pragma once

#include "pipeline/script/script_tree.h"

#include <QString>

#include <memory>
#include <vector>

// How deep statements and expressions may nest. Parsing and evaluation recurse along the
// nesting, so the limit keeps both within a small part of any thread's stack.
constexpr int kMaxNesting = 200;

// Parses a whole script. Throws ScriptCompileError with the place of the first error.
std::shared_ptr<const ScriptProgram> ParseScript(const QString& source);

// Parses a parameter list as written in a routine header, for example
// "const AStr: string; out AValue: integer". Throws ScriptCompileError.
std::vector<Parameter> ParseParameterDefinition(const QString& definition);
