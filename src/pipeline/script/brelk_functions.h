#pragma once

#include <QString>

class ScriptEngine;

// The five functions the agent offers to rule scripts, and their registration on an engine.
namespace brelk_functions {

// Both texts trimmed and upper-cased (host locale) are equal.
bool StringComparar(const QString& first, const QString& second);

// Every "." read as ","; the text converted with the process-wide number format; the default
// when it does not convert. So "12.5" and "12,5" both give 12.5.
double StringToDouble(const QString& text, double defaultValue = 0);

// The trimmed text is empty.
bool StringVazia(const QString& text);

// A 32-bit integer in the platform's integer syntax; false (value untouched) otherwise.
bool TryStrToInt(const QString& text, int& value);

// StringToDouble(text, -1) cut (not rounded) to two decimals: "2,349" gives 2.34.
double ArredondaFloat(const QString& text);

}  // namespace brelk_functions

// Registers StringComparar, StringToDouble, StringVazia, TryStrToInt and ArredondaFloat, in
// that order, with their argument definitions.
void RegisterBrelkFunctions(ScriptEngine& engine);
