#include "pipeline/script/brelk_functions.h"

#include "pipeline/script/script_engine.h"

#include <gtest/gtest.h>

namespace {

ScriptValue RunWithBrelkFunctions(const QString& source) {
    ScriptEngine engine;
    RegisterBrelkFunctions(engine);
    engine.setSource(source);
    return engine.execute();
}

TEST(BrelkFunctions, StringCompararTrimsAndIgnoresCase) {
    EXPECT_TRUE(brelk_functions::StringComparar(" abc", "ABC "));
    EXPECT_TRUE(brelk_functions::StringComparar("\tação\r\n", "AÇÃO"));
    EXPECT_FALSE(brelk_functions::StringComparar("abc", "abd"));
}

TEST(BrelkFunctions, StringToDoubleReadsPointAndCommaAndFallsBack) {
    const struct {
        const char* text;
        double defaultValue;
        double expected;
    } cases[] = {
        {"12.5", 0, 12.5}, {"12,5", 0, 12.5}, {"-3", 0, -3}, {"", 7, 7}, {"x", 0, 0},
        {"1.000,5", -1, -1}, {"1e3", 0, 1000},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(brelk_functions::StringToDouble(c.text, c.defaultValue), c.expected) << c.text;
}

TEST(BrelkFunctions, StringVaziaLooksAtTheTrimmedText) {
    EXPECT_TRUE(brelk_functions::StringVazia(""));
    EXPECT_TRUE(brelk_functions::StringVazia(" \t\r\n"));
    EXPECT_FALSE(brelk_functions::StringVazia(" a "));
}

TEST(BrelkFunctions, TryStrToIntAcceptsThirtyTwoBitIntegersOnly) {
    const struct {
        const char* text;
        bool converts;
        int value;
    } cases[] = {
        {"42", true, 42},   {"-7", true, -7},     {"$10", true, 16},
        {"12a", false, 5},  {"", false, 5},       {"2147483648", false, 5}, {"1,5", false, 5},
    };
    for (const auto& c : cases) {
        int value = 5;
        EXPECT_EQ(brelk_functions::TryStrToInt(c.text, value), c.converts) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(BrelkFunctions, ArredondaFloatCutsToTwoDecimals) {
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        {"2.349", 2.34}, {"2,349", 2.34}, {"-2.349", -2.34}, {"0.999", 0.99}, {"0,999", 0.99},
        {"5", 5},        {"abc", -1},      {"0.29", 0.29},    {"1.13", 1.13},   {"-0.29", -0.29},
        {"0.2899999", 0.28},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(brelk_functions::ArredondaFloat(c.text), c.expected) << c.text;
}

TEST(BrelkFunctions, ScriptsCallTheFiveFunctions) {
    const struct {
        const char* source;
        const char* result;
    } cases[] = {
        {"Result := StringComparar(' abc', 'ABC ')", "True"},
        {"Result := StringToDouble('12.5')", "12,5"},
        {"Result := StringToDouble('12,5') * 2", "25"},
        {"Result := StringToDouble('', 7)", "7"},
        {"Result := StringToDouble('x')", "0"},
        {"Result := StringVazia('  ')", "True"},
        {"var v: integer; begin v := 5; Result := VarToStr(TryStrToInt('12a', v)) + ' ' + IntToStr(v) end",
         "False 5"},
        {"var v: integer; begin Result := VarToStr(TryStrToInt('42', v)) + ' ' + IntToStr(v + 1) end",
         "True 43"},
        {"Result := ArredondaFloat('2.349')", "2,34"},
        {"Result := ArredondaFloat('0,999')", "0,99"},
        {"Result := ArredondaFloat('abc')", "-1"},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(RunWithBrelkFunctions(c.source).toText(), QString::fromUtf8(c.result)) << c.source;
        } catch (const MeltrixError& error) {
            ADD_FAILURE() << c.source << ": " << error.what();
        }
    }
}

TEST(BrelkFunctions, TryStrToIntNeedsAVariable) {
    EXPECT_THROW(RunWithBrelkFunctions("Result := TryStrToInt('1', 5)"), ScriptCompileError);
}

TEST(BrelkFunctions, ARuleScriptSeesRulesAsConstants) {
    ScriptEngine engine;
    RegisterBrelkFunctions(engine);
    engine.defineConstant("TEMP", ScriptValue::String("21.5"));
    engine.defineConstant("_VALORATUAL", ScriptValue::String("3,25"));
    engine.setSource("begin\n"
                     "  if StringVazia(_VALORATUAL) then Exit;\n"
                     "  Result := ArredondaFloat(FloatToStr(StringToDouble(TEMP) + StringToDouble(_VALORATUAL)));\n"
                     "end.");
    EXPECT_EQ(engine.execute().toText(), "24,75");
}

}  // namespace
