#pragma once

#include "pipeline/script/script_tree.h"

#include <QString>

#include <memory>

// Parsed programs shared by every engine in the process, keyed by the script text: a text is
// parsed once, whichever thread runs it. Texts that do not compile are remembered with their
// error. The cache holds at most kMaxEntries texts and starts afresh when full (programs in use
// stay alive with their users).
namespace script_cache {

constexpr int kMaxEntries = 2000;

// The program of the text; throws ScriptCompileError for a text that does not compile.
std::shared_ptr<const ScriptProgram> Obtain(const QString& source);

}  // namespace script_cache
