#include "rules/regras.h"

#include "support/rule_fixtures.h"
#include "util/error.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

QJsonObject Triggered(const QString& nome, const QStringList& triggers, QJsonObject overrides = {}) {
    QJsonArray gatilhos;
    for (const QString& trigger : triggers) gatilhos.append(QJsonObject{{"Nome", trigger}});
    overrides["Gatilhos"] = gatilhos;
    return RuleObject(nome, overrides);
}

QStringList Names(const TRegras::TRegraList& list) {
    QStringList names;
    for (const TRegra* regra : list) names << regra->Nome();
    return names;
}

}  // namespace

TEST(TRegras, SameDocumentIsParsedOnlyOnce) {
    TRegras regras;
    const QString document = RulesDocument({RuleObject("H1")});
    regras.fromJSON(document);
    const TRegra* first = regras.find("H1");
    const QString digest = regras.jsonSHA1();
    EXPECT_EQ(digest.size(), 40);

    regras.fromJSON(" \r\n" + document + "\t ");
    EXPECT_EQ(regras.find("H1"), first);
    EXPECT_EQ(regras.json(), document);

    regras.fromJSON(QString(document).replace(":", ": "));  // formatting only, still new
    EXPECT_NE(regras.jsonSHA1(), digest);
    EXPECT_EQ(regras.json(), QString(document).replace(":", ": "));
}

TEST(TRegras, BlankTextChangesNothing) {
    TRegras regras;
    regras.fromJSON(RulesDocument({RuleObject("A")}));
    regras.fromJSON("  \r\n ");
    EXPECT_NE(regras.find("A"), nullptr);
}

TEST(TRegras, ReloadCarriesSurvivingValuesAndDestroysDroppedRules) {
    TRegras regras;
    regras.fromJSON(RulesDocument({RuleObject("H1", {{"GerarNovoRegistro", true}}), RuleObject("X")}));
    TRegra* h1 = regras.find("H1");
    h1->setMaquinaSerial("M9");
    h1->update("1");
    h1->Valor().post();
    h1->update("0");
    const QDateTime reference(QDate(2024, 6, 24), QTime(8, 0, 0));
    h1->Valor().getTempoAcumulado(reference);
    TRegra* x = regras.find("X");
    x->setMaquinaSerial("M9");
    x->update("gone");
    const QString xHistory = x->historyFilePath();

    regras.fromJSON(RulesDocument({RuleObject("h1", {{"GerarNovoRegistro", true}})}));
    const TRegra* reloaded = regras.find("H1");
    ASSERT_NE(reloaded, nullptr);
    EXPECT_EQ(reloaded->Valor().atualBruto(), "0");
    EXPECT_EQ(reloaded->Valor().anteriorBruto(), "1");
    EXPECT_TRUE(reloaded->Valor().alterou());
    EXPECT_EQ(reloaded->Valor().timestamp(), reference);
    EXPECT_EQ(regras.find("X"), nullptr);
    EXPECT_EQ(regras.dict().size(), 1u);
    EXPECT_TRUE(QFile::exists(xHistory));
}

TEST(TRegras, FailedDocumentLeavesThePreviousSetAndIsNotParsedAgain) {
    TRegras regras;
    const QString good = RulesDocument({RuleObject("A", {{"TagEspecial", true}, {"IdTagReferencia", "2"}}),
                                   RuleObject("B", {{"IdTagReferencia", "1"}})});
    regras.fromJSON(good);
    const TRegra* a = regras.find("A");

    QJsonObject withoutGatilhos = RuleObject("C");
    withoutGatilhos.remove("Gatilhos");
    const QString bad = RulesDocument({RuleObject("A"), withoutGatilhos});
    EXPECT_THROW(regras.fromJSON(bad), MeltrixError);
    EXPECT_EQ(regras.find("A"), a);
    EXPECT_EQ(regras.find("C"), nullptr);
    EXPECT_EQ(regras.json(), good);
    EXPECT_EQ(Names(regras.specialList()), QStringList({"A"}));
    EXPECT_EQ(Names(regras.withRefList()), QStringList({"B", "A"}));

    EXPECT_NO_THROW(regras.fromJSON(bad));  // the resent document is skipped
    EXPECT_EQ(regras.find("A"), a);
}

TEST(TRegras, DocumentsThatCannotLoad) {
    QJsonObject triggerWithoutName = RuleObject("A");
    triggerWithoutName["Gatilhos"] = QJsonArray{QJsonObject{{"nome", "B"}}};
    const QString cases[] = {
        "not json",
        "[1, 2]",
        "{\"rules\": []}",
        "{\"array\": [1]}",
        RulesDocument({RuleObject("A", {{"Ativo", "yes"}})}),
        RulesDocument({triggerWithoutName}),
        RulesDocument({RuleObject("A"), RuleObject("_a")}),
    };
    for (const QString& document : cases) {
        TRegras regras;
        regras.fromJSON(RulesDocument({RuleObject("KEEP")}));
        EXPECT_THROW(regras.fromJSON(document), MeltrixError) << document.toStdString();
        EXPECT_NE(regras.find("KEEP"), nullptr) << document.toStdString();
        EXPECT_EQ(regras.dict().size(), 1u);
    }
}

TEST(TRegras, TriggersLinkByUpperCasedNames) {
    TRegras regras;
    regras.fromJSON(RulesDocument({
        Triggered("A", {"b", "missing"}),
        Triggered("B", {}),
        Triggered("_X", {}),
        Triggered("Y", {"_X", "B", "b"}),
    }));
    const TRegra* b = regras.find("B");
    ASSERT_NE(b, nullptr);
    QStringList dependents = Names(b->regras());
    dependents.sort();
    EXPECT_EQ(dependents, QStringList({"A", "Y", "Y"}));  // named twice, linked twice
    EXPECT_TRUE(regras.find("X")->regras().isEmpty());    // _X is not the key X
}

TEST(TRegras, SubListsKeepDocumentOrderAndReferencesSortAsIntegers) {
    TRegras regras;
    regras.fromJSON(RulesDocument({
        RuleObject("R10", {{"IdTagReferencia", "10"}, {"Protocolo", "BrelkProtocol"}}),
        RuleObject("R9", {{"IdTagReferencia", "9"}, {"TagEspecial", true}}),
        RuleObject("P", {{"Protocolo", "brelkprotocol"}, {"TagEspecial", true}}),
        RuleObject("R100", {{"IdTagReferencia", "100"}, {"Protocolo", "BrelkProtocol"}}),
    }));
    EXPECT_EQ(Names(regras.withRefList()), QStringList({"R9", "R10", "R100"}));
    EXPECT_EQ(Names(regras.specialList()), QStringList({"R9", "P"}));
    EXPECT_EQ(Names(regras.protBrelkProtList()), QStringList({"R10", "R100"}));
}

TEST(TRegras, NonIntegerReferenceRaisesButKeepsTheNewSet) {
    TRegras regras;
    EXPECT_THROW(regras.fromJSON(RulesDocument({RuleObject("A", {{"IdTagReferencia", "T45"}}),
                                           RuleObject("B", {{"IdTagReferencia", "3"}})})),
                 MeltrixError);
    EXPECT_EQ(Names(regras.withRefList()), QStringList({"A", "B"}));
    EXPECT_NE(regras.find("A"), nullptr);

    TRegras single;
    EXPECT_NO_THROW(single.fromJSON(RulesDocument({RuleObject("A", {{"IdTagReferencia", "T45"}})})));
}

TEST(TRegras, EmptyArrayRemovesEveryRuleAndOnTheFlyRulesGoAtReload) {
    TRegras regras;
    regras.fromJSON(RulesDocument({RuleObject("A")}));
    regras.add(TRegra::Factory("spindle"));
    EXPECT_NE(regras.find("SPINDLE"), nullptr);
    EXPECT_THROW(regras.add(TRegra::Factory("Spindle")), MeltrixError);

    regras.fromJSON(RulesDocument({RuleObject("A"), RuleObject("B")}));
    EXPECT_EQ(regras.find("SPINDLE"), nullptr);
    regras.fromJSON(RulesDocument({}));
    EXPECT_TRUE(regras.dict().empty());
    EXPECT_EQ(regras.json(), RulesDocument({}));
}

TEST(TRegras, ForEachVisitsEveryRuleOrTheGivenList) {
    TRegras regras;
    regras.fromJSON(RulesDocument({RuleObject("A", {{"TagEspecial", true}}), RuleObject("B")}));
    QStringList visited;
    regras.forEach([&](TRegra& regra) { visited << regra.Nome(); });
    visited.sort();
    EXPECT_EQ(visited, QStringList({"A", "B"}));
    visited.clear();
    TRegras::forEach(regras.specialList(), [&](TRegra& regra) { visited << regra.Nome(); });
    EXPECT_EQ(visited, QStringList({"A"}));
    regras.forEach(nullptr);
}
