// The cost of one rule evaluation in the script engine: the data process replaces the source,
// binds every rule's value as a constant and executes, for each incoming value.
#include "pipeline/script/brelk_functions.h"
#include "pipeline/script/script_engine.h"
#include "pipeline/script/script_parser.h"

#include <benchmark/benchmark.h>

#include <QStringList>

namespace {

const QString kRuleScript = QStringLiteral(
    "var v: double;\n"
    "begin\n"
    "  v := StringToDouble(_VALORATUAL);\n"
    "  if StringComparar(EXECUTION, 'ACTIVE') and not StringVazia(PROGRAM) and (v > 0) then\n"
    "    Result := ArredondaFloat(FloatToStr(v * StringToDouble(FATOR, 1)))\n"
    "  else\n"
    "    Result := '0';\n"
    "end.");

const QString kLoopScript = QStringLiteral(
    "var i, s: integer;\n"
    "begin\n"
    "  for i := 1 to 1000 do\n"
    "    if i mod 3 = 0 then s := s + i;\n"
    "  Result := s;\n"
    "end.");

struct RuleValues {
    QStringList names;
    QStringList values;
};

// Twenty rules as a machine with a modest rule set has them.
RuleValues MachineRules() {
    RuleValues rules;
    rules.names = {"EXECUTION", "PROGRAM", "FATOR", "H1", "ALARME", "MODE", "PARTCOUNT",
                   "SPINDLE", "FEED", "TOOL", "BLOCK", "LINE", "EMERGENCY", "AVAIL", "TEMP",
                   "LOAD", "X", "Y", "Z", "MENSAGEM"};
    rules.values = {"ACTIVE", "O1234", "1.5", "1", "", "AUTOMATIC", "1532", "12000", "350.5",
                    "T12", "N120", "120", "ARMED", "AVAILABLE", "38.7", "45", "10.001",
                    "-5.25", "0", "Peça pronta"};
    return rules;
}

void RunRuleScript(benchmark::State& state, const QString& script) {
    ScriptEngine engine;
    RegisterBrelkFunctions(engine);
    const RuleValues rules = MachineRules();
    const QString incoming = QStringLiteral("12.25");
    for (auto _ : state) {
        engine.setSource(script);
        for (qsizetype i = 0; i < rules.names.size(); ++i)
            engine.defineConstant(rules.names.at(i), ScriptValue::String(rules.values.at(i)));
        engine.defineConstant(QStringLiteral("_VALORATUAL"), ScriptValue::String(incoming));
        benchmark::DoNotOptimize(engine.execute().toText());
    }
}

void BM_CachedRuleScriptWithTwentyConstants(benchmark::State& state) {
    RunRuleScript(state, kRuleScript);
}
BENCHMARK(BM_CachedRuleScriptWithTwentyConstants);

void BM_ThousandIterationLoop(benchmark::State& state) {
    RunRuleScript(state, kLoopScript);
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ThousandIterationLoop);

// What a cache miss costs: parsing the rule script.
void BM_ParseRuleScript(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ParseScript(kRuleScript));
}
BENCHMARK(BM_ParseRuleScript);

}  // namespace
