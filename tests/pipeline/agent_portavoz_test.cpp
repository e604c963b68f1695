#include "pipeline/agent_portavoz.h"

#include "support/data_process_fixture.h"

#include <gtest/gtest.h>

namespace {

class TAgentPortavozTest : public DataProcessTest {
protected:
    TAgentPortavoz& portavoz() {
        if (!spokesman)
            spokesman = std::make_unique<TAgentPortavoz>(publisher, maquina, process(), tags,
                                                         [this](const QString& m, bool) { logged << m; });
        return *spokesman;
    }
    QString topic(const char* leaf) const { return "/IoT/" + serial() + "/" + leaf; }

    std::unique_ptr<TAgentPortavoz> spokesman;
};

}  // namespace

TEST_F(TAgentPortavozTest, GetRegraAnswersTheSetOrOneRule) {
    load({RuleObject("H1"), RuleObject("Spindle")});
    portavoz().talkAboutRegras("  ");
    portavoz().talkAboutRegras("h1");
    portavoz().talkAboutRegras("nothing");
    const auto published = publisher.published();
    ASSERT_EQ(published.size(), 2);
    EXPECT_EQ(published[0].topic, topic("REGRAS"));
    EXPECT_EQ(published[0].payload, process().regras().json());
    EXPECT_EQ(published[1].payload, rule("H1").toJSON());
}

TEST_F(TAgentPortavozTest, ChangeLogAnswersOnResponse) {
    load({RuleObject("H1")});
    feed("H1|1");
    publisher.takePublished();
    portavoz().talkAboutRegrasChangeLog("");
    portavoz().talkAboutRegrasChangeLog("x");
    portavoz().talkAboutRegrasChangeLog(" h1 ");
    const auto published = publisher.published();
    ASSERT_EQ(published.size(), 1);
    EXPECT_EQ(published[0].topic, topic("RESPONSE"));
    EXPECT_EQ(published[0].payload, rule("H1").getChangeHistory());
}

TEST_F(TAgentPortavozTest, GetPublishesEveryRuleUnconstrainedThenTheStateInReferenceOrder) {
    load({RuleObject("H1", {{"IdTagReferencia", "10"}, {"Ativo", false}}),
          RuleObject("SPINDLE", {{"IdTagReferencia", "9"}})});
    tags["9"].Fill("9", "Spindle", "Spindle \"speed\"", "rpm");
    tags["10"].Fill("10", "State", "Machine state", "");
    feed("H1|1|SPINDLE|1200");
    publisher.takePublished();

    portavoz().talkAboutValues("");
    const auto published = publisher.published();
    ASSERT_FALSE(published.isEmpty());
    EXPECT_EQ(published.last().topic, topic("JSON"));
    EXPECT_EQ(published.last().payload,
              "[{\"serial\":\"" + serial() + "\",\"tagid\":\"9\",\"name\":\"Spindle\",\"description\":\"Spindle \\\"speed\\\"\","
              "\"unit\":\"rpm\",\"value\":\"1200\"},{\"serial\":\"" + serial() +
              "\",\"tagid\":\"10\",\"name\":\"State\",\"description\":\"Machine state\",\"unit\":\"\",\"value\":\"ACTIVE\"}]");
    QStringList leaves;
    for (const auto& publication : published) leaves << publication.topic.section('/', 3);
    EXPECT_TRUE(leaves.contains("H1"));  // inactive, published all the same
    EXPECT_EQ(rule("H1").publishConstraint().lastSentTimestamp(), QDateTime());

    publisher.takePublished();
    portavoz().talkAboutValues("spindle");
    EXPECT_EQ(publisher.published().first().payload, "SPINDLE|1200");
}

TEST_F(TAgentPortavozTest, StateWithoutATagTableEntryIsNotPublishedAndIsLogged) {
    load({RuleObject("H1", {{"IdTagReferencia", "10"}}), RuleObject("X", {{"IdTagReferencia", "11"}})});
    tags["10"].Fill("10", "State", "", "");
    portavoz().PublishCurrentStateAsJson();
    EXPECT_TRUE(publisher.published().isEmpty());
    EXPECT_TRUE(logged.last().contains("11")) << logged.last().toStdString();
}

TEST_F(TAgentPortavozTest, NoReferencedRulesGiveAnEmptyArray) {
    load({RuleObject("A")});
    portavoz().talkAboutValues("");
    EXPECT_EQ(publisher.published().last().payload, "[]");
}
