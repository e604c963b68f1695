#include "pipeline/agent_data_process.h"

#include "summaries/files.h"
#include "support/data_process_fixture.h"
#include "support/frozen_clock.h"
#include "util/text.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

const QString ErrorValue = "ERRO no script. Verificar tabela TErro.";

}  // namespace

TEST_F(DataProcessTest, EmptyRuleSetDropsMachineData) {
    feed("execution|ACTIVE");
    EXPECT_TRUE(process().regras().dict().empty());
    EXPECT_TRUE(publisher.published().isEmpty());
}

TEST_F(DataProcessTest, UnknownTagsGetARuleThatIsFoundAgain) {
    load({RuleObject("H1")});
    feed("_Spindle Speed|1200");
    feed("_Spindle Speed|1200");  // a repeated value: not published again
    TRegra& created = rule("SPINDLE_SPEED");
    EXPECT_EQ(created.OriginalName(), "_Spindle_Speed");
    EXPECT_EQ(created.IntervaloMinimo, 2000);
    EXPECT_FALSE(created.EnvioValoresRepetidos);
    EXPECT_FALSE(created.GerarNovoRegistro());
    EXPECT_TRUE(process().regras().withRefList().size() == 0);
    const QList<RecordingPublisher::Publication> expected = {
        {"/IoT/" + serial() + "/DADOS", "_Spindle_Speed|1200", false}};
    EXPECT_EQ(publisher.published(), expected);
    EXPECT_TRUE(logged.filter("!").isEmpty()) << logged.join('\n').toStdString();

    feed("alarme|E1");  // a tag named like a kind gets that kind
    EXPECT_EQ(topics(), QStringList({"DADOS", "ALARME", "DADOS"}));
}

TEST_F(DataProcessTest, UnavailableIsIgnoredWithItsDependants) {
    load({RuleObject("A"), RuleObject("B", {{"Gatilhos", Triggers({"A"})}, {"Script", "Result := 'seen'"}})});
    feed("A|UNAVAILABLE");
    EXPECT_EQ(rule("A").Valor().atualBruto(), "");
    EXPECT_EQ(rule("B").Valor().atualBruto(), "");
    EXPECT_TRUE(publisher.published().isEmpty());
    feed("A|1");
    EXPECT_EQ(rule("B").Valor().atualBruto(), "seen");
}

TEST_F(DataProcessTest, DependantsStopAfterTenLevels) {
    QJsonArray rules = {RuleObject("R0", {{"Script", "Result := _VALORATUAL + '+'"}})};
    for (int i = 1; i <= 10; ++i)
        rules.append(RuleObject(QString("R%1").arg(i), {{"Gatilhos", Triggers({qPrintable(QString("R%1").arg(i - 1))})},
                                                         {"Script", "Result := _VALORATUAL + '+'"}}));
    load(rules);
    feed("R0|x");
    EXPECT_EQ(rule("R0").Valor().atualBruto(), "x+");
    EXPECT_EQ(rule("R9").Valor().atualBruto(), "+");  // the tenth rule evaluated
    EXPECT_EQ(rule("R10").Valor().atualBruto(), "");  // the eleventh is not
}

TEST_F(DataProcessTest, ScriptsReadRuleConstantsAndTheIncomingValue) {
    load({RuleObject("_TEMP"),
          RuleObject("CALC", {{"Gatilhos", Triggers({"TEMP"})},
                              {"Script", "begin\n  Result := StringToDouble(TEMP) * 2 + StringToDouble(_VALORATUAL);\nend."}}),
          RuleObject("LABEL", {{"Script", "Result := 'L' + _VALORATUAL"}})});
    feed("CALC|0.25|TEMP|10.5|LABEL| x ");
    // 0.25 first (TEMP still empty), then re-evaluated after TEMP with its own value "0,25".
    EXPECT_EQ(rule("CALC").Valor().atualBruto(), "21,25");
    EXPECT_EQ(rule("LABEL").Valor().atualBruto(), "Lx");
}

TEST_F(DataProcessTest, ScriptThatDoesNotCompilePublishesTheReportEveryTime) {
    load({RuleObject("X", {{"Script", "begin\n  Result := y;\nend"}, {"EnvioValoresRepetidos", true}})});
    feed("X|7");
    feed("X|8");
    EXPECT_EQ(rule("X").Valor().atualBruto(), ErrorValue);
    const auto reports = publisher.published();
    QStringList erro;
    for (const auto& publication : reports)
        if (publication.topic.endsWith("/ERRO")) erro << publication.payload;
    ASSERT_EQ(erro.size(), 2);
    EXPECT_TRUE(erro[0].startsWith("SERIAL: " + serial() + "\r\nPROTOCOLO: MTConnect\r\nVERSÃO MELTRIX: 1.0.0\r\n\r\n"
                                   "ERRO: [Error] (2:13): Undeclared identifier: 'y'\r\n\r\nREGRA: X\r\n"))
        << erro[0].toStdString();
    // The report shows the values before the failed evaluation stored its own.
    EXPECT_TRUE(erro[0].endsWith("VALOR: \r\n\r\nINICIO SCRIPT:\r\nbegin\r\n  Result := y;\r\nend\r\n"
                                 "TERMINO SCRIPT\r\n\r\nVARIAVEIS/VALOR:\r\nX = \r\n"))
        << erro[0].toStdString();
    EXPECT_TRUE(erro[1].endsWith("VARIAVEIS/VALOR:\r\nX = " + ErrorValue + "\r\n")) << erro[1].toStdString();
    EXPECT_EQ(publisher.published().last().payload, "X|" + ErrorValue);
    EXPECT_EQ(logged.filter("Compilation error").size(), 2);
}

TEST_F(DataProcessTest, RuntimeErrorKeepsTheIncomingValue) {
    load({RuleObject("X", {{"Script", "Result := 1 div 0"}})});
    feed("X|7");
    EXPECT_EQ(rule("X").Valor().atualBruto(), "7");
    ASSERT_EQ(logged.filter("Catastrophic error").size(), 1);
    EXPECT_TRUE(logged.filter("Catastrophic error")[0].endsWith(". Regra X valor: 7"));
}

TEST_F(DataProcessTest, ReferencedChangeWritesASummaryAtTheNextTick) {
    load({RuleObject("H1", {{"IdTagReferencia", "1"}, {"GerarNovoRegistro", true}}),
          RuleObject("SPINDLE", {{"IdTagReferencia", "2"}, {"GerarNovoRegistro", false}})});
    feed("H1|1|SPINDLE|1200");
    EXPECT_EQ(resumos.amountOfLotes(), 0);  // not before the tick
    process().start();
    ASSERT_TRUE(SpinUntil([&] { return resumos.amountOfLotes() == 1; }));
    const QStringList lines = TResumo(resumos.get()).lines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("|H1|1|ACTIVE|0|1|POWER_OFF")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("|SPINDLE|2|1200|0|0|")) << lines[1].toStdString();
    EXPECT_FALSE(rule("H1").Valor().alterou());  // posted with the summary
}

TEST_F(DataProcessTest, PoweroffPublishesNotifiesAndWritesASummaryLater) {
    load({RuleObject("H1", {{"IdTagReferencia", "1"}, {"GerarNovoRegistro", true}, {"EnvioValoresRepetidos", true}})});
    feed("H1|1");
    {
        std::lock_guard lock(process().regrasLock());
        process().createResumoIfFlagged();
    }
    ASSERT_EQ(resumos.amountOfLotes(), 1);
    publisher.takePublished();

    process().createPoweroffResumo();
    EXPECT_EQ(topics().mid(0, 2), QStringList({"H1", "H1DATAHORA"}));
    EXPECT_EQ(publisher.published().first().payload, "-1");
    ASSERT_TRUE(SpinUntil([&] { return resumos.queryLast()->lines().first().contains("|POWER_OFF|"); }));
    EXPECT_FALSE(rule("H1").Valor().alterou());
}

TEST_F(DataProcessTest, PendingPoweroffIsCompletedWhenTheProcessEnds) {
    load({RuleObject("H1", {{"IdTagReferencia", "1"}, {"GerarNovoRegistro", true}})});
    feed("H1|1");
    process().createPoweroffResumo();
    dataProcess.reset();
    ASSERT_TRUE(resumos.queryLast().has_value());
    EXPECT_TRUE(resumos.queryLast()->lines().first().contains("|H1|1|POWER_OFF|"));
}

TEST_F(DataProcessTest, RulesFromMqttAreCachedAndLoadedAtTheNextStart) {
    const QString document = RulesDocument({RuleObject("H1")});
    process().setRegras("  " + document + "\n");
    EXPECT_EQ(text::Trim(TFiles::readRegrasFile(serial())), document);
    process().setRegras("{broken");
    EXPECT_EQ(logged.filter("! Erro ao preencher regras: ").size(), 1);

    dataProcess.reset();
    EXPECT_NE(process().regras().find("H1"), nullptr);
    EXPECT_EQ(process().regras().find("H1")->maquinaSerial(), serial());
}

TEST_F(DataProcessTest, LastValuesSeedRulesUnlessANewerSummaryExists) {
    load({RuleObject("H1", {{"IdTagReferencia", "1"}, {"GerarNovoRegistro", true}}), RuleObject("TEMP")});
    process().setLastValuesRegras(R"([{"regra":"H1","valor":"STOP","datahora":"2024-06-24T09:00:00Z"},
                                      {"regra":"TEMP","valor":"20","datahora":"2024-06-24T09:00:00Z"},
                                      {"regra":"temp","valor":"99","datahora":"2024-06-24T09:00:00Z"}])",
                                  std::nullopt);
    EXPECT_EQ(rule("H1").Valor().atualBruto(), "0");
    EXPECT_EQ(rule("H1").Valor().timestamp(), QDateTime(QDate(2024, 6, 24), QTime(9, 0), QTimeZone::utc()));
    EXPECT_FALSE(rule("H1").Valor().alterou());
    EXPECT_EQ(rule("TEMP").Valor().atualBruto(), "20");
    EXPECT_TRUE(publisher.published().isEmpty());

    TResumo newer;
    newer.add(serial() + "|2024-06-24T10:00:00.000-03:00|H1|1|ACTIVE|5|1|STOP");
    process().setLastValuesRegras(R"([{"regra":"H1","valor":"STOP","datahora":"2024-06-24T09:00:00Z"}])", newer);
    EXPECT_EQ(rule("H1").Valor().atualBruto(), "1");

    TResumo another;
    another.add(serial() + "|2024-06-24T11:00:00.000-03:00|H1|1|STOP|5|1|ACTIVE");
    process().setLastValuesFromResumo(another);  // seeded once only
    EXPECT_EQ(rule("H1").Valor().atualBruto(), "1");
}
