#include "pipeline/script/script_engine.h"

#include "pipeline/script/script_error.h"
#include "util/clock.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <thread>

namespace {

ScriptValue RunScript(const QString& source) {
    ScriptEngine engine;
    engine.setSource(source);
    return engine.execute();
}

ScriptValue Int(qint64 value) { return ScriptValue::Integer(value); }
ScriptValue Real(double value) { return ScriptValue::Double(value); }
ScriptValue Text(const char* value) { return ScriptValue::String(QString::fromUtf8(value)); }
ScriptValue Bool(bool value) { return ScriptValue::Boolean(value); }

struct ExpressionCase {
    const char* expression;
    ScriptValue expected;
};

void ExpectResults(const std::vector<ExpressionCase>& cases) {
    for (const ExpressionCase& c : cases) {
        const QString source = QStringLiteral("Result := %1").arg(QString::fromUtf8(c.expression));
        try {
            EXPECT_EQ(RunScript(source), c.expected) << c.expression << " gave " << RunScript(source).toText().toStdString();
        } catch (const MeltrixError& error) {
            ADD_FAILURE() << c.expression << ": " << error.what();
        }
    }
}

TEST(ScriptEngine, EvaluatesExpressionsWithPascalPrecedence) {
    ExpectResults({
        {"1 + 2 * 3", Int(7)},
        {"(1 + 2) * 3", Int(9)},
        {"-(2 + 3)", Int(-5)},
        {"7 / 2", Real(3.5)},
        {"8 / 2", Real(4)},
        {"7 div 2", Int(3)},
        {"-7 div 2", Int(-3)},
        {"-7 mod 2", Int(-1)},
        {"$FF", Int(255)},
        {"1.5E2", Real(150)},
        {"9223372036854775807", Int(9223372036854775807LL)},
        {"1 shl 4", Int(16)},
        {"256 shr 4", Int(16)},
        {"5 and 3", Int(1)},
        {"5 or 3", Int(7)},
        {"5 xor 3", Int(6)},
        {"not 0", Int(-1)},
        {"True and not False", Bool(true)},
        {"(1 < 2) and (2 >= 3)", Bool(false)},
        {"(1 <> 1) or (2 <= 2)", Bool(true)},
        {"'it''s'#13#10'x'", Text("it's\r\nx")},
        {"#$41#66", Text("AB")},
        {"'abc'[2]", Text("b")},
        {"3 in [1, 2..4]", Bool(true)},
        {"'x' in ['a', 'b']", Bool(false)},
        {"{ comment } 1 (* another *) + // to the end of the line\n 1", Int(2)},
    });
}

TEST(ScriptEngine, FollowsVariantArithmeticRules) {
    ExpectResults({
        {"'ab' + 'cd'", Text("abcd")},
        {"'5' + 1", Int(6)},
        {"'2,5' * 2", Real(5)},
        {"1 + 2.5", Real(3.5)},
        {"'7' div '2'", Int(3)},
        {"Null + 1", ScriptValue()},
        {"-Null", ScriptValue()},
        {"'abc' < 'abd'", Bool(true)},
        {"'B' > 'a'", Bool(false)},
        {"'10' = 10", Bool(true)},
        {"'10,0' = 10", Bool(true)},
        {"2 = 2.0", Bool(true)},
        {"Null = Null", Bool(true)},
        {"Null = 0", Bool(false)},
        {"Null < 0", Bool(true)},
        {"'true' and True", Bool(true)},
        {"False and (1 div 0 = 1)", Bool(false)},
        {"True or (1 div 0 = 1)", Bool(true)},
        {"VarIsNull(Null and True)", Bool(true)},
    });
}

TEST(ScriptEngine, RunsStatements) {
    const struct {
        const char* source;
        ScriptValue expected;
    } cases[] = {
        {"var a: integer; begin a := 5; if a > 3 then Result := 'big' else Result := 'small' end.",
         Text("big")},
        {"var i, s: integer; begin for i := 1 to 10 do s := s + i; Result := s end", Int(55)},
        {"var i: integer; s: string; begin for i := 3 downto 1 do s := s + IntToStr(i); Result := s end",
         Text("321")},
        {"var i: integer; begin for i := 5 to 1 do Result := 'never' end", ScriptValue()},
        {"var i, s: integer; begin i := 0; while True do begin i := i + 1; if i mod 2 = 0 then "
         "continue; if i > 7 then break; s := s + i end; Result := s end",
         Int(16)},
        {"var i: integer; begin repeat i := i + 1 until i >= 4; Result := i end", Int(4)},
        {"case 7 of 1: Result := 'one'; 2..8: Result := 'few' else Result := 'many' end", Text("few")},
        {"case 'b' of 'a', 'b': Result := 'ab'; end", Text("ab")},
        {"case 99 of 1: Result := 'one' else Result := 'x'; Result := Result + 'y' end", Text("xy")},
        {"const Limite = 10; var x: integer = 4; begin Result := Limite - x end", Int(6)},
        {"var i: integer; begin i := '42'; Result := i + 1 end", Int(43)},
        {"var s: string; begin s := 5; Result := s + '1' end", Text("51")},
        {"var d: double; begin d := 1; Result := d end", Real(1)},
        {"var i: integer; begin i := 2.5; Result := i end", Int(2)},
        {"var i: integer; begin Inc(i); Inc(i, 10); Dec(i, 2); Result := i end", Int(9)},
        {"begin Result := 1; Exit; Result := 2 end", Int(1)},
        {"begin Exit('early'); Result := 'late' end", Text("early")},
        {"program Teste; begin Result := 'x' end.", Text("x")},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(RunScript(c.source), c.expected) << c.source;
        } catch (const MeltrixError& error) {
            ADD_FAILURE() << c.source << ": " << error.what();
        }
    }
}

TEST(ScriptEngine, RunsUserRoutines) {
    const struct {
        const char* source;
        ScriptValue expected;
    } cases[] = {
        {"function Fat(n: integer): integer;\n"
         "begin if n <= 1 then Result := 1 else Result := n * Fat(n - 1) end;\n"
         "begin Result := Fat(10) end.",
         Int(3628800)},
        {"procedure Troca(var a, b: integer); var t: integer; begin t := a; a := b; b := t end;\n"
         "var x, y: integer;\n"
         "begin x := 1; y := 2; Troca(x, y); Result := IntToStr(x) + IntToStr(y) end.",
         Text("21")},
        {"function Dobro(x: integer = 21): integer; begin Dobro := x * 2 end;\n"
         "begin Result := Dobro + Dobro(1) end",
         Int(44)},
        {"function Primeiro(s: string): string; var i: integer; begin\n"
         "  for i := 1 to Length(s) do if s[i] <> ' ' then begin Result := s[i]; Exit end;\n"
         "  Result := '?' end;\n"
         "begin Result := Primeiro('  z') + Primeiro('  ') end",
         Text("z?")},
        {"function Par(n: integer): boolean; begin Result := (n = 0) or Impar(n - 1) end;\n"
         "function Impar(n: integer): boolean; begin Result := (n <> 0) and Par(n - 1) end;\n"
         "begin Result := Par(10) end",
         Bool(true)},
        {"var total: integer;\n"
         "procedure Soma(n: integer); begin total := total + n end;\n"
         "begin Soma(2); Soma(3); Result := total end",
         Int(5)},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(RunScript(c.source), c.expected) << c.source;
        } catch (const MeltrixError& error) {
            ADD_FAILURE() << c.source << ": " << error.what();
        }
    }
}

TEST(ScriptEngine, TryExceptCatchesRuntimeErrorsAndFinallyAlwaysRuns) {
    EXPECT_EQ(RunScript("try Result := StrToInt('x') except Result := 'caught' end"), Text("caught"));
    EXPECT_EQ(RunScript("var s: string;\n"
                  "procedure P; begin try s := s + 'a'; Exit finally s := s + 'b' end; s := s + 'c' end;\n"
                  "begin P; Result := s end"),
              Text("ab"));
}

TEST(ScriptEngine, BuiltinsFollowObjectPascal) {
    ExpectResults({
        {"IntToStr(42)", Text("42")},
        {"StrToInt(' 12')", Int(12)},
        {"StrToInt('$1F')", Int(31)},
        {"StrToIntDef('x', 7)", Int(7)},
        {"FloatToStr(12.5)", Text("12,5")},
        {"FloatToStr(3.0)", Text("3")},
        {"StrToFloat('12,5')", Real(12.5)},
        {"StrToFloatDef('12.5', -1)", Real(-1)},
        {"Copy('abcdef', 2, 3)", Text("bcd")},
        {"Copy('abc', 0, 2)", Text("ab")},
        {"Copy('abc', 5, 1)", Text("")},
        {"Copy('abcdef', 4)", Text("def")},
        {"Pos('c', 'abcabc')", Int(3)},
        {"Pos('z', 'abc')", Int(0)},
        {"Pos('c', 'abcabc', 4)", Int(6)},
        {"Length('ação')", Int(4)},
        {"UpperCase('ação')", Text("AÇÃO")},
        {"LowerCase('AbC')", Text("abc")},
        {"Trim(#9'  x  ')", Text("x")},
        {"StringReplace('a.b.c', '.', ',', [rfReplaceAll])", Text("a,b,c")},
        {"StringReplace('a.b.c', '.', ',', [])", Text("a,b.c")},
        {"StringReplace('aXbx', 'x', '-', [rfReplaceAll, rfIgnoreCase])", Text("a-b-")},
        {"Round(2.5)", Int(2)},
        {"Round(3.5)", Int(4)},
        {"Round(-2.5)", Int(-2)},
        {"Round('2,7')", Int(3)},
        {"Trunc(-2.7)", Int(-2)},
        {"Abs(-3)", Int(3)},
        {"Abs(-2.5)", Real(2.5)},
        {"FormatFloat('#,##0.00', 1234.5)", Text("1.234,50")},
        {"VarIsNull(Null)", Bool(true)},
        {"VarIsNull('')", Bool(false)},
        {"VarToStr(Null)", Text("")},
        {"VarToStr(2.5)", Text("2,5")},
        {"Chr(65)", Text("A")},
        {"Ord('A')", Int(65)},
    });
}

TEST(ScriptEngine, NowIsADateThatPrintsWithTheProcessDateFormat) {
    Clock::setNow(QDateTime(QDate(2024, 6, 24), QTime(10, 11, 12)));
    const ScriptValue now = RunScript("Result := Now");
    const ScriptValue tomorrow = RunScript("Result := Now + 1");
    const ScriptValue hours = RunScript("Result := Round((Now + 0.5 - Now) * 24)");
    Clock::reset();
    EXPECT_EQ(now.kind(), ScriptValue::Kind::DateTime);
    EXPECT_EQ(now.toText(), "24/06/2024 10:11:12");
    EXPECT_EQ(tomorrow.toText(), "25/06/2024 10:11:12");
    EXPECT_EQ(hours, Int(12));
}

TEST(ScriptEngine, ResultTextUsesTheDecimalComma) {
    EXPECT_EQ(RunScript("Result := 25 / 2").toText(), "12,5");
    EXPECT_EQ(RunScript("Result := 6 / 2").toText(), "3");
    EXPECT_EQ(RunScript("Result := 1 = 1").toText(), "True");
    EXPECT_TRUE(RunScript("var x: integer; begin x := 1 end").isNull());
}

TEST(ScriptEngine, ConstantsAreCaseInsensitiveReadOnlyNames) {
    ScriptEngine engine;
    engine.defineConstant("TEMP", ScriptValue::String("20"));
    engine.defineConstant("_VALORATUAL", ScriptValue::String("ACTIVE"));
    engine.setSource("Result := temp + '|' + _valorAtual");
    EXPECT_EQ(engine.execute(), Text("20|ACTIVE"));

    engine.defineConstant("Temp", ScriptValue::String("21"));
    engine.setSource("Result := temp + '|' + _valorAtual");
    EXPECT_EQ(engine.execute(), Text("21|ACTIVE"));

    // Machine tags named like a heading word or a built-in stay readable; calls stay calls.
    engine.defineConstant("PROGRAM", ScriptValue::String("O1234"));
    engine.defineConstant("POS", ScriptValue::String("7"));
    engine.setSource("Result := Program + '|' + POS + IntToStr(Pos('b', 'abc'))");
    EXPECT_EQ(engine.execute(), Text("O1234|72"));

    engine.setSource("var temp: string; begin temp := 'own'; Result := temp end");
    EXPECT_EQ(engine.execute(), Text("own"));

    engine.setSource("TEMP := '1'");
    EXPECT_THROW(engine.execute(), ScriptCompileError);

    engine.clearConstants();
    engine.setSource("Result := temp");
    EXPECT_THROW(engine.execute(), ScriptCompileError);
}

TEST(ScriptEngine, NativeFunctionsTakeOptionalAndByReferenceArguments) {
    ScriptEngine engine;
    engine.defineFunction({"Dividir", 3, 1, "const A: Integer; out Resto: Integer; B: Integer = 2",
                           [](const NativeCall& call) {
                               const qint64 divisor = call.count() > 2 ? call.argumentAsInteger(2) : 2;
                               call.setReference(1, ScriptValue::Integer(call.argumentAsInteger(0) % divisor));
                               return ScriptValue::Integer(call.argumentAsInteger(0) / divisor);
                           }});
    engine.setSource("var r: string; q: integer; begin q := Dividir(7, r); Result := IntToStr(q) + ' ' + r; "
                     "q := Dividir(17, r, 5); Result := Result + ' ' + IntToStr(q) + ' ' + r end");
    EXPECT_EQ(engine.execute(), Text("3 1 3 2"));

    engine.setSource("var q: integer; begin q := Dividir(7, 1) end");
    EXPECT_THROW(engine.execute(), ScriptCompileError);

    EXPECT_THROW(engine.defineFunction({"Errada", 1, 0, "const A, B: string", nullptr}), MeltrixError);
}

struct ErrorCase {
    const char* source;
    int line;
    int column;
    const char* description;
};

TEST(ScriptEngine, CompilationErrorsNameTheLineAndColumn) {
    const ErrorCase cases[] = {
        {"var a: integer;\nbegin\n  a := x + 1;\nend.", 3, 8, "Undeclared identifier: 'x'"},
        {"Result := (1 + 2;", 1, 17, "')' expected but ';' found"},
        {"Result := Foo(1)", 1, 11, "Unknown function: 'Foo'"},
        {"Result := Copy('a')", 1, 11, "Not enough actual parameters in call to 'Copy'"},
        {"Result := Trim('a', 'b')", 1, 11, "Too many actual parameters in call to 'Trim'"},
        {"var v: integer; begin Inc(5) end", 1, 27, "Variable required"},
        {"y := 1", 1, 1, "Undeclared identifier: 'y'"},
        {"Result := 'abc", 1, 11, "Unterminated string"},
        {"{ open", 1, 1, "Unterminated comment"},
        {"var a: foo; begin end", 1, 8, "Unknown type: 'foo'"},
        {"var a: integer; a: string; begin end", 1, 17, "Identifier redeclared: 'a'"},
        {"const K = 1; begin K := 2 end", 1, 20, "Cannot assign to a constant: 'K'"},
        {"begin break end", 1, 7, "BREAK or CONTINUE outside of loop"},
        {"Result := 1 +", 1, 14, "Expression expected but end of file found"},
        {"Result := 1 then", 1, 13, "';' expected but 'then' found"},
        {"Result := 1 ?", 1, 13, "Illegal character in input file: '?' ($003F)"},
    };
    for (const ErrorCase& c : cases) {
        try {
            RunScript(c.source);
            ADD_FAILURE() << c.source << ": no error";
        } catch (const ScriptCompileError& error) {
            EXPECT_EQ(error.description(), c.description) << c.source;
            EXPECT_EQ(error.line(), c.line) << c.source;
            EXPECT_EQ(error.column(), c.column) << c.source;
        }
    }
}

TEST(ScriptEngine, CompilationErrorMessageCarriesItsPlace) {
    try {
        RunScript("var a: integer;\nbegin\n  a := x + 1;\nend.");
        FAIL() << "no error";
    } catch (const MeltrixError& error) {
        EXPECT_EQ(error.message(), "[Error] (3:8): Undeclared identifier: 'x'");
    }
}

TEST(ScriptEngine, RuntimeErrorsNameTheLineAndColumn) {
    const ErrorCase cases[] = {
        {"var a: integer;\nbegin\n  a := 1 div a\nend", 3, 10, "Division by zero"},
        {"Result := 1 / 0", 1, 13, "Division by zero"},
        {"Result := 'abc' * 2", 1, 17, "Could not convert variant of type (String) into type (Double)"},
        {"Result := StrToInt('12a')", 1, 11, "'12a' is not a valid integer value"},
        {"if Null then Result := 1", 1, 4, "Could not convert variant of type (Null) into type (Boolean)"},
        {"Result := 9223372036854775807 + 1", 1, 31, "Integer overflow"},
        {"Result := 'abc'[4]", 1, 16, "String index out of range"},
        {"var i: integer; begin i := 'abc' end", 1, 23,
         "Could not convert variant of type (String) into type (Int64)"},
    };
    for (const ErrorCase& c : cases) {
        try {
            RunScript(c.source);
            ADD_FAILURE() << c.source << ": no error";
        } catch (const ScriptRuntimeError& error) {
            EXPECT_EQ(error.description(), c.description) << c.source;
            EXPECT_EQ(error.line(), c.line) << c.source;
            EXPECT_EQ(error.column(), c.column) << c.source;
            EXPECT_FALSE(error.limitExceeded()) << c.source;
        }
    }
}

void ExpectLimitExceeded(const QString& source, const QString& description) {
    try {
        RunScript(source);
        ADD_FAILURE() << source.toStdString() << ": no error";
    } catch (const ScriptRuntimeError& error) {
        EXPECT_TRUE(error.limitExceeded()) << error.what();
        EXPECT_EQ(error.description(), description);
    }
}

TEST(ScriptEngine, TheStatementBudgetStopsEndlessLoops) {
    const QString budget = "Statement budget exceeded: more than 1000000 statements";
    ExpectLimitExceeded("while True do ;", budget);
    ExpectLimitExceeded("try while True do ; except Result := 'swallowed' end", budget);
}

TEST(ScriptEngine, DeepRecursionIsStopped) {
    const QString recursion = "Recursion too deep: more than 200 nested calls";
    ExpectLimitExceeded("function F(n: integer): integer; begin Result := F(n + 1) end;\n"
                        "begin Result := F(0) end.",
                        recursion);
    ExpectLimitExceeded("procedure P; begin try P except end end; begin P end.", recursion);
    // Deep recursion through deeply nested expressions is stopped by the stack guard instead.
    ExpectLimitExceeded("function F(n: integer): integer; begin Result := " +
                            QStringLiteral("-").repeated(190) + "F(n + 1) end;\nbegin Result := F(0) end.",
                        "Script nested too deeply");
}

TEST(ScriptEngine, ScriptsCannotExhaustTheStackOrMemory) {
    const auto nested = [](const QString& open, const QString& inner, const QString& close) {
        return QStringLiteral("Result := ") + open.repeated(10000) + inner + close.repeated(10000);
    };
    EXPECT_THROW(RunScript(nested("(", "1", ")")), ScriptCompileError);
    EXPECT_THROW(RunScript(nested("-", "1", "")), ScriptCompileError);
    EXPECT_THROW(RunScript("Result := 1" + QStringLiteral(" + 1").repeated(10000)), ScriptCompileError);
    EXPECT_THROW(RunScript(QStringLiteral("begin ").repeated(10000)), ScriptCompileError);
    EXPECT_THROW(RunScript("var s: string; i: integer; begin s := 'x'; for i := 1 to 40 do s := s + s end"),
                 ScriptRuntimeError);
}

TEST(ScriptEngine, SameTextRunsOnSeveralThreadsWithTheirOwnConstants) {
    const QString source = "var i, s: integer; begin for i := 1 to StrToInt(N) do s := s + i; Result := s end";
    std::vector<qint64> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&, t] {
            ScriptEngine engine;
            for (int run = 0; run < 50; ++run) {
                engine.defineConstant("N", ScriptValue::String(QString::number(t * 10)));
                engine.setSource(source);
                results[t] = engine.execute().asInteger();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(results, (std::vector<qint64>{0, 55, 210, 465}));
}

}  // namespace
