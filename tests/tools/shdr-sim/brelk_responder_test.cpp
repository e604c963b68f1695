#include "shdr-sim/brelk_responder.h"

#include "preprocess/pre_processor.h"
#include "support/qt_printers.h"
#include "util/cipher.h"
#include "util/error.h"

#include <gtest/gtest.h>

namespace {

TMachineBehaviour RaisedAlarmAtTheFourthTick() {
    TMachineBehaviour behaviour;
    behaviour.stateTicks = 0;
    behaviour.alarmEveryTicks = 4;
    behaviour.seed = 11;
    return behaviour;
}

// What the agent's reception path makes of a block from the machine.
QList<QStringList> AgentRecords(const QString& block, const QString& specialTag = QString()) {
    TPreProcessor preProcessor;
    if (!specialTag.isEmpty()) preProcessor.AddTagEspecialList(specialTag);
    return preProcessor.Execute(cipher::DecriptarTexto(block));
}

const QList<TPollItem> Poll = {
    {"ALARME", "ALARM"}, {"H1", "STATE"}, {"SPINDLE", "SPEED"}, {"TEMP", "T1"}, {"HORIMETRO", "HOURS"}};

}  // namespace

TEST(TBrelkResponder, ParsesEncipheredAndPlainPolls) {
    const QList<TPollItem> twoItems = {{"S1", "P1"}, {"S2", "P2"}};
    const struct {
        QString line;
        std::optional<QList<TPollItem>> items;
    } cases[] = {
        {cipher::EncriptarLinha("GET|S1|P1|S2|P2"), twoItems},
        {"|S1|P1|S2|P2", twoItems},
        {cipher::EncriptarLinha("GET|S1"), QList<TPollItem>{{"S1", ""}}},
        {"|S1|P1||", QList<TPollItem>{{"S1", "P1"}, {"", ""}}},
        {cipher::EncriptarLinha("PUT|S1|P1"), std::nullopt},
        {"hello", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(TBrelkResponder::ParsePoll(c.line), c.items) << c.line.toStdString();
}

TEST(TBrelkResponder, AnEncipheredLineThatDoesNotDecipherIsAnError) {
    EXPECT_THROW(TBrelkResponder::ParsePoll("Brelk2024-06-24T10:11:12.123Z|a b"), MeltrixError);
}

// The answer must reach the agent as one record of the requested tags, whichever form it
// travels in; the alarm goes last so that, as a special tag, it takes no other field.
TEST(TBrelkResponder, AnswersBecomeTheRequestedEntriesForThePreprocessor) {
    for (const bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain" : "enciphered");
        TMachineValues values(TMachineTags(), RaisedAlarmAtTheFourthTick());
        for (int tick = 0; tick < 4; ++tick) values.tick();
        TBrelkResponder responder(values, plain);

        const TBrelkResponder::TAnswer answer = responder.answer(Poll);

        EXPECT_EQ(answer.wire.startsWith(QString::fromUtf16(cipher::Marker)), !plain);
        EXPECT_TRUE(answer.wire.endsWith("\r\n"));
        EXPECT_EQ(answer.wire.count("\r\n"), 1);
        EXPECT_TRUE(answer.dropped.isEmpty());
        const QList<QStringList> records = AgentRecords(answer.wire, "ALARME");
        ASSERT_EQ(records.size(), 1);
        EXPECT_EQ(records.first(), QStringList({
                                       "H1=1",
                                       "SPINDLE=" + values.valueOf("SPINDLE"),
                                       "TEMP=" + values.valueOf("TEMP"),
                                       "HORIMETRO=" + values.valueOf("HORIMETRO"),
                                       "ALARME=FAULT - 1001 - Over temp",
                                       "ALARME_1=FAULT - 1001 -  - Over temp",
                                   }));
        EXPECT_EQ(answer.records.size(), 1);
        EXPECT_TRUE(answer.records.first().endsWith("|H1|1|SPINDLE|" + values.valueOf("SPINDLE") + "|TEMP|" +
                                                    values.valueOf("TEMP") + "|HORIMETRO|" +
                                                    values.valueOf("HORIMETRO") + "|ALARME|FAULT - 1001 -  - Over temp"));
    }
}

TEST(TBrelkResponder, PairsThatCannotTravelEncipheredAreLeftOut) {
    TMachineValues values{TMachineTags(), TMachineBehaviour()};
    TBrelkResponder responder(values, false);

    // The apostrophe has no cipher character; "l$3KH" enciphers to the line marker itself,
    // which would cut the line in two at the agent.
    const TBrelkResponder::TAnswer answer = responder.answer({{"it's", "x"}, {"H1", "STATE"}, {"l$3KH", "y"}});

    ASSERT_EQ(answer.dropped.size(), 2);
    EXPECT_TRUE(answer.dropped.at(0).startsWith("it's|")) << answer.dropped.at(0).toStdString();
    EXPECT_TRUE(answer.dropped.at(1).startsWith("l$3KH|")) << answer.dropped.at(1).toStdString();
    EXPECT_EQ(AgentRecords(answer.wire), QList<QStringList>({{"H1=1"}}));
}

TEST(TBrelkResponder, APollWithoutKeysIsNotAnswered) {
    TMachineValues values{TMachineTags(), TMachineBehaviour()};
    TBrelkResponder responder(values, false);
    EXPECT_TRUE(responder.answer({{"", "P1"}}).wire.isEmpty());
    EXPECT_TRUE(responder.answer({}).wire.isEmpty());
}
