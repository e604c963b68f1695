#include "cloud-sim/cloud_samples.h"

#include "cloud-sim/cloud_simulator.h"
#include "messaging/payloads.h"
#include "pipeline/brelk_scripter.h"
#include "rules/regras.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

QStringList NomesOf(const TRegras::TRegraList& list) {
    QStringList nomes;
    for (const TRegra* regra : list) nomes << regra->Nome();
    return nomes;
}

QString RunSpindleScript(const TRegra& spindle, const QString& h1, const QString& incoming) {
    TBrelkScripter scripter;
    scripter.setSource(spindle.Script);
    scripter.defineConstant("H1", ScriptValue::String(h1));
    scripter.defineConstant("_VALORATUAL", ScriptValue::String(incoming));
    return scripter.execute().toText();
}

}  // namespace

TEST(CloudSamples, TheRuleSetLoadsAsAnAgentLoadsIt) {
    TRegras regras;
    regras.fromJSON(cloud_samples::Regras());

    EXPECT_EQ(NomesOf(regras.withRefList()), QStringList({"H1", "HORIMETRO", "ALARME", "SPINDLE"}));
    EXPECT_EQ(NomesOf(regras.protBrelkProtList()), QStringList({"H1", "HORIMETRO", "ALARME", "SPINDLE"}));
    EXPECT_TRUE(regras.specialList().isEmpty());
    const TRegra* h1 = regras.find("H1");
    ASSERT_NE(h1, nullptr);
    EXPECT_EQ(h1->IdTagReferencia, "1");
    EXPECT_TRUE(h1->GerarNovoRegistro());
    EXPECT_EQ(NomesOf(h1->regras()), QStringList({"SPINDLE"}));  // recalculated when H1 changes
    EXPECT_TRUE(TCloudSimulator::RegrasProblem(cloud_samples::Regras()).isEmpty());
}

TEST(CloudSamples, TheSpindleScriptRoundsTheSpeedAndZeroesItUnlessActive) {
    TRegras regras;
    regras.fromJSON(cloud_samples::Regras());
    const TRegra* spindle = regras.find("SPINDLE");
    ASSERT_NE(spindle, nullptr);

    EXPECT_EQ(RunSpindleScript(*spindle, "1", "1234.4"), "1234");
    EXPECT_EQ(RunSpindleScript(*spindle, "1", "980,6"), "981");
    EXPECT_EQ(RunSpindleScript(*spindle, "0", "1234.4"), "0");
    EXPECT_EQ(RunSpindleScript(*spindle, "1", "not a number"), "0");
    EXPECT_EQ(RunSpindleScript(*spindle, "1", ""), "");
}

TEST(CloudSamples, TheTagTableAndTheCataloguesHaveTheirFormats) {
    EXPECT_TRUE(TCloudSimulator::TabReferenciaProblem(cloud_samples::TabReferencia()).isEmpty());

    const struct {
        QString payload;
        qsizetype fields;
    } catalogues[] = {{cloud_samples::Fabricantes(), 2}, {cloud_samples::Linhas(), 3}, {cloud_samples::Modelos(), 4}};
    for (const auto& catalogue : catalogues) {
        const QList<QStringList> records = payloads::CatalogueRecords(catalogue.payload);
        ASSERT_FALSE(records.isEmpty());
        for (const QStringList& record : records) EXPECT_EQ(record.size(), catalogue.fields) << record.join(';').toStdString();
    }
    // The sample rule set is published for model 1, which the catalogue lists.
    EXPECT_EQ(payloads::CatalogueRecords(cloud_samples::Modelos()).first().at(2), "1");
}

TEST(CloudSamples, DocumentProblemsAreNamed) {
    const struct {
        QString document;
        bool regras;
    } cases[] = {
        {"", true},
        {"{", true},
        {R"({"array":[{"Nome":"H1"}]})", true},
        {"{", false},
        {R"({"tag":"1"})", false},
        {R"([{"tag":"1","name":"a","description":"b"}])", false},
        {R"([{"tag":"1","name":"a","description":"b","unit":""},{"tag":1,"name":"c","description":"d","unit":""}])",
         false},
    };
    for (const auto& c : cases) {
        const QString problem = c.regras ? TCloudSimulator::RegrasProblem(c.document)
                                         : TCloudSimulator::TabReferenciaProblem(c.document);
        EXPECT_FALSE(problem.isEmpty()) << c.document.toStdString();
    }
}
