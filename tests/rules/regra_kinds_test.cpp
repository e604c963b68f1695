#include "rules/regra_kinds.h"

#include "support/frozen_clock.h"
#include "support/rule_fixtures.h"
#include "util/clock.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using RegraKindsTimed = FrozenClockTest;

std::unique_ptr<TRegra> Rule(const QString& name, const QString& value = {}) {
    auto regra = TRegra::Factory(name);
    regra->setMaquinaSerial("M1");
    if (!value.isNull()) regra->update(value);
    return regra;
}

}  // namespace

TEST(RegraKinds, FactorySelectsTheKindByNameIgnoringCase) {
    EXPECT_NE(dynamic_cast<TH1*>(TRegra::Factory("h1").get()), nullptr);
    EXPECT_NE(dynamic_cast<THorimetro*>(TRegra::Factory("Horimetro").get()), nullptr);
    EXPECT_NE(dynamic_cast<TAlarme*>(TRegra::Factory("alarme").get()), nullptr);
    EXPECT_NE(dynamic_cast<TMensagem*>(TRegra::Factory("mensagem").get()), nullptr);
    EXPECT_NE(dynamic_cast<TD1*>(TRegra::Factory("D1").get()), nullptr);
    EXPECT_NE(dynamic_cast<TC1*>(TRegra::Factory("c1").get()), nullptr);
    for (const QString name : {"H1 ", " H1", "_H1", "H10"}) {
        auto plain = TRegra::Factory(name);
        EXPECT_EQ(typeid(*plain), typeid(TRegra)) << name.toStdString();
    }
    EXPECT_EQ(TRegra::Factory("H1 ")->Nome(), "H1");
}

TEST(RegraKinds, MachineStateTranslation) {
    const std::pair<QString, QString> cases[] = {
        {"1", "ACTIVE"}, {"0", "STOP"}, {"-1", "POWER_OFF"},
        {"2", "POWER_OFF"}, {"abc", "POWER_OFF"}, {"", "POWER_OFF"},
    };
    for (const auto& [raw, translated] : cases) EXPECT_EQ(Rule("H1", raw)->Valor().atual(), translated);
}

TEST_F(RegraKindsTimed, MachineStatePublishesStateAndWallClockSeconds) {
    // 10:00 local (UTC-3) is published as the Unix time of 10:00 UTC.
    const QString seconds = QString::number(
        QDateTime(QDate(2024, 6, 24), QTime(10, 0, 0), QTimeZone::utc()).toSecsSinceEpoch());
    const TRegraPublishInstructions active = {{"/IoT/M1/H1", "1"}, {"/IoT/M1/H1DATAHORA", "1|" + seconds}};
    EXPECT_EQ(Rule("H1", "1")->buildPublishInstructions(), active);
    const TRegraPublishInstructions empty = {{"/IoT/M1/H1", "-1"}, {"/IoT/M1/H1DATAHORA", "-1|" + seconds}};
    EXPECT_EQ(Rule("H1")->buildPublishInstructions(), empty);
}

TEST_F(RegraKindsTimed, FirstMachineStateEntryTranslatesTheEmptyPreviousValue) {
    EXPECT_EQ(Rule("H1", "1")->changeHistory().first(),
              "[24/06/2024 10:00:00]  (POWER_OFF) -> 1 (ACTIVE)");
}

TEST(RegraKinds, SingleTopicKindsPublishTheirRawValue) {
    const std::pair<QString, QString> cases[] = {
        {"HORIMETRO", "/IoT/M1/HORIMETRO"}, {"D1", "/IoT/M1/D1"}, {"C1", "/IoT/M1/C1"}};
    for (const auto& [name, topic] : cases) {
        const TRegraPublishInstructions expected = {{topic, "1523.5"}};
        EXPECT_EQ(Rule(name, "1523.5")->buildPublishInstructions(), expected);
    }
}

TEST(RegraKinds, AlarmAndMessageTextsLoseTheirDashRuns) {
    const std::pair<QString, QString> cases[] = {
        {"FAULT - 1001 -  - Over temp", "FAULT - 1001 - Over temp"},
        {"- FAULT - 1001 -", "FAULT - 1001"},
        {"-5", "5"},
        {"  A---B  ", "A - B"},
        {"plain", "plain"},
    };
    for (const auto& [raw, stored] : cases) {
        EXPECT_EQ(Rule("ALARME", raw)->Valor().atualBruto(), stored) << raw.toStdString();
        EXPECT_EQ(Rule("MENSAGEM", raw)->Valor().atualBruto(), stored) << raw.toStdString();
    }
    const QString longAlarm = "-" + QString(199, u'x');
    EXPECT_EQ(Rule("ALARME", longAlarm)->Valor().atualBruto(), QString(130, u'x') + "...");
}

TEST(RegraKinds, TextKindsPublishOnTheirTopicAndOnDados) {
    const TRegraPublishInstructions message = {{"/IoT/M1/MENSAGEM", "Door open"},
                                               {"/IoT/M1/DADOS", "mensagem|Door open"}};
    EXPECT_EQ(Rule("mensagem", "Door open")->buildPublishInstructions(), message);
}

TEST_F(RegraKindsTimed, AlarmWithReferenceGivesFourInstructionsInOrder) {
    auto alarme = Rule("ALARME");
    alarme->IdTagReferencia = "7";
    alarme->update("E1");
    const auto instructions = alarme->getPublishInstructions({}, false, false);
    ASSERT_EQ(instructions.size(), 4);
    EXPECT_EQ(instructions[0].topic, "/IoT/M1/ALARME");
    EXPECT_EQ(instructions[1].topic, "/IoT/M1/DADOS");
    EXPECT_EQ(instructions[2].topic, "/IoT/M1/DADOSPLUS");
    EXPECT_EQ(instructions[3].topic, "/IoT/M1/DADOSAPONTAMENTO");
}
