#include "shdr-sim/machine_values.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace {

TMachineBehaviour Behaviour(int stateTicks, int alarmEvery, int alarmTicks = 2) {
    TMachineBehaviour behaviour;
    behaviour.stateTicks = stateTicks;
    behaviour.alarmEveryTicks = alarmEvery;
    behaviour.alarmTicks = alarmTicks;
    behaviour.tickLength = std::chrono::milliseconds(36'000);  // a hundredth of an hour
    behaviour.seed = 7;
    return behaviour;
}

QString ValueIn(const TTagValues& values, const QString& tag) {
    for (const TTagValue& value : values)
        if (value.first == tag) return value.second;
    return QStringLiteral("<absent>");
}

}  // namespace

TEST(TMachineValues, StateAlternatesAndTheOtherValuesFollowIt) {
    TMachineValues machine(TMachineTags(), Behaviour(3, 0));
    for (int tick = 0; tick < 12; ++tick) {
        const bool active = (tick / 3) % 2 == 0;
        const TTagValues values = machine.snapshot();
        SCOPED_TRACE(tick);
        EXPECT_EQ(machine.isActive(), active);
        EXPECT_EQ(ValueIn(values, "execution"), active ? "ACTIVE" : "STOPPED");
        EXPECT_EQ(ValueIn(values, "H1"), active ? "1" : "0");
        const int rpm = ValueIn(values, "SPINDLE").toInt();
        if (active) {
            EXPECT_GE(rpm, 1050);
            EXPECT_LE(rpm, 1350);
        } else {
            EXPECT_EQ(rpm, 0);
        }
        machine.tick();
    }
}

TEST(TMachineValues, HourMeterCountsOnlyActiveTicks) {
    TMachineValues machine(TMachineTags(), Behaviour(2, 0));
    QStringList hours;
    for (int tick = 0; tick < 6; ++tick) {
        hours << ValueIn(machine.snapshot(), "HORIMETRO");
        machine.tick();
    }
    EXPECT_EQ(hours, QStringList({"1523.5000", "1523.5100", "1523.5200", "1523.5200", "1523.5200", "1523.5300"}));
}

TEST(TMachineValues, AlarmsComeEverySoManyTicksAndAreCleared) {
    TMachineValues machine(TMachineTags(), Behaviour(0, 4, 2));
    QStringList alarms;
    for (int tick = 0; tick <= 9; ++tick) {
        alarms << ValueIn(machine.snapshot(), "ALARME");
        machine.tick();
    }
    const QString first = QStringLiteral("FAULT - 1001 -  - Over temp");
    const QString second = QStringLiteral("WARNING - 2040 - LOW - Coolant level low");
    EXPECT_EQ(alarms, QStringList({"", "", "", "", first, first, "", "", second, second}));
}

TEST(TMachineValues, AnAlarmIsClearedBeforeTheNextEvenWhenTheyComeOften) {
    TMachineValues machine(TMachineTags(), Behaviour(0, 2, 5));
    QStringList alarms;
    for (int tick = 0; tick <= 5; ++tick) {
        alarms << ValueIn(machine.snapshot(), "ALARME");
        machine.tick();
    }
    EXPECT_EQ(alarms.mid(2), QStringList({"FAULT - 1001 -  - Over temp", "",
                                          "WARNING - 2040 - LOW - Coolant level low", ""}));
}

TEST(TMachineValues, TickReportsExactlyTheChangedTags) {
    TMachineValues machine(TMachineTags(), Behaviour(1, 0));
    const TTagValues stopping = machine.tick();  // active -> stopped
    EXPECT_EQ(ValueIn(stopping, "execution"), "STOPPED");
    EXPECT_EQ(ValueIn(stopping, "H1"), "0");
    EXPECT_EQ(ValueIn(stopping, "SPINDLE"), "0");
    EXPECT_EQ(ValueIn(stopping, "HORIMETRO"), "1523.5100");
    EXPECT_EQ(ValueIn(stopping, "ALARME"), "<absent>");

    TMachineValues still(TMachineTags(), Behaviour(100, 0));
    for (int tick = 0; tick < 100; ++tick) still.tick();  // now stopped for 100 ticks
    still.valueOf(QStringLiteral("TEMP"));  // a polled tag is not one of the generated ones
    EXPECT_TRUE(still.tick().isEmpty());
}

TEST(TMachineValues, ConfiguredTagNamesAreUsedAndLookUpsIgnoreCase) {
    const TMachineTags tags{"Exec", "State", "S1speed", "Hours", "Alarm"};
    TMachineValues machine(tags, Behaviour(0, 0));
    const TTagValues values = machine.snapshot();
    QStringList names;
    for (const TTagValue& value : values) names << value.first;
    EXPECT_EQ(names, QStringList({"Exec", "State", "S1speed", "Hours", "Alarm"}));
    EXPECT_EQ(machine.valueOf("STATE"), "1");
    EXPECT_EQ(machine.valueOf("exec"), "ACTIVE");
    EXPECT_EQ(machine.valueOf("hours"), "1523.5000");
}

TEST(TMachineValues, OtherTagsHaveTheirOwnWanderingNumbers) {
    TMachineValues machine(TMachineTags(), Behaviour(0, 0));
    const double temp = machine.valueOf("TEMP").toDouble();
    EXPECT_GE(temp, 100);
    EXPECT_LT(temp, 1000);
    EXPECT_EQ(machine.valueOf("temp"), machine.valueOf("TEMP"));  // stable between ticks

    bool moved = false;
    double previous = temp;
    for (int tick = 0; tick < 20; ++tick) {
        machine.tick();
        const double now = machine.valueOf("TEMP").toDouble();
        EXPECT_NEAR(now, previous, previous * 0.051);
        moved = moved || now != previous;
        previous = now;
    }
    EXPECT_TRUE(moved);
}

TEST(TMachineValues, TheSameSeedGivesTheSameMachine) {
    TMachineValues a(TMachineTags(), Behaviour(5, 3));
    TMachineValues b(TMachineTags(), Behaviour(5, 3));
    for (int tick = 0; tick < 30; ++tick) {
        EXPECT_EQ(a.tick(), b.tick());
        EXPECT_EQ(a.valueOf("X"), b.valueOf("X"));
    }
}
