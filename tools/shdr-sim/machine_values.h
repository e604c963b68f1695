#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QRandomGenerator>
#include <QString>

#include <chrono>

// One tag and its value, in the order they go on the wire.
using TTagValue = QPair<QString, QString>;
using TTagValues = QList<TTagValue>;

// The tag names under which the simulated machine reports its values.
struct TMachineTags {
    QString execution = QStringLiteral("execution");  // ACTIVE / STOPPED
    QString state = QStringLiteral("H1");              // 1 while active, 0 while stopped
    QString spindle = QStringLiteral("SPINDLE");       // spindle speed in rpm, 0 while stopped
    QString hourMeter = QStringLiteral("HORIMETRO");   // operating hours, grows while active
    QString alarm = QStringLiteral("ALARME");          // alarm text, empty when cleared
};

struct TMachineBehaviour {
    int stateTicks = 10;     // ticks between execution state changes (active first)
    int alarmEveryTicks = 30;  // an alarm is raised every so many ticks; 0: never
    int alarmTicks = 5;      // ticks an alarm stays raised (less when alarms come more often)
    std::chrono::milliseconds tickLength{1000};  // machine time that one tick stands for
    double hourMeterStart = 1523.5;
    quint32 seed = 1;
};

// A simulated machine tool: an execution state that alternates between active and stopped,
// a spindle that turns (with some noise) only while active, an hour meter that counts the
// active time and alarms that come and go. Any other tag asked for gets a number of its own
// that wanders from tick to tick.
class TMachineValues {
public:
    TMachineValues(TMachineTags tags, TMachineBehaviour behaviour);

    // Advances the machine by one tick; returns the tags whose value changed, in the order of
    // snapshot().
    TTagValues tick();

    // Every generated tag with its current value: execution, state, spindle, hour meter, alarm.
    TTagValues snapshot() const;

    // The value for a tag asked for by name (letter case ignored).
    QString valueOf(const QString& tag);

    bool isActive() const;
    const TMachineTags& tags() const { return FTags; }

private:
    QString spindleText() const;
    QString hourMeterText() const;
    QString alarmText() const;
    void wanderOtherTags();

    TMachineTags FTags;
    TMachineBehaviour FBehaviour;
    QRandomGenerator FRandom;
    qint64 FTick = 0;
    int FSpindleRpm = 0;
    double FHours = 0;
    QHash<QString, double> FOtherTags;  // upper-cased tag name -> value
};
