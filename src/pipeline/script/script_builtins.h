#pragma once

#include "pipeline/script/script_function.h"
#include "pipeline/script/script_names.h"

// The functions every script can call (IntToStr, Copy, Pos, Round, FormatFloat, ...) and the
// constants rfReplaceAll and rfIgnoreCase for StringReplace. Built once, shared read-only.
const NameMap<RegisteredFunction>& BuiltinFunctions();
const NameMap<ScriptValue>& BuiltinConstants();
