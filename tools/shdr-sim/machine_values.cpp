#include "shdr-sim/machine_values.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kSpindleBaseRpm = 1200;
constexpr int kSpindleNoiseRpm = 150;
constexpr int kSpindleStepRpm = 10;
constexpr double kMillisecondsPerHour = 3'600'000.0;
constexpr int kFirstOtherValue = 100;
constexpr int kOtherValueSpread = 900;
constexpr int kWanderPerMille = 50;  // other tags move by up to 5 % per tick

// The dashes and the empty field are what a real control writes; the agent cleans them up.
const QStringList& AlarmTexts() {
    static const QStringList texts = {
        QStringLiteral("FAULT - 1001 -  - Over temp"),
        QStringLiteral("WARNING - 2040 - LOW - Coolant level low"),
        QStringLiteral("FAULT - 3002 - HIGH - Spindle overload"),
    };
    return texts;
}

bool SameTag(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

}  // namespace

TMachineValues::TMachineValues(TMachineTags tags, TMachineBehaviour behaviour)
    : FTags(std::move(tags)),
      FBehaviour(behaviour),
      FRandom(behaviour.seed),
      FSpindleRpm(kSpindleBaseRpm),
      FHours(behaviour.hourMeterStart) {}

bool TMachineValues::isActive() const {
    if (FBehaviour.stateTicks <= 0) return true;
    return (FTick / FBehaviour.stateTicks) % 2 == 0;
}

TTagValues TMachineValues::tick() {
    const TTagValues before = snapshot();
    if (isActive()) FHours += static_cast<double>(FBehaviour.tickLength.count()) / kMillisecondsPerHour;
    ++FTick;
    FSpindleRpm = 0;
    if (isActive()) {
        const int noise = FRandom.bounded(-kSpindleNoiseRpm, kSpindleNoiseRpm + 1);
        FSpindleRpm = kSpindleBaseRpm + noise / kSpindleStepRpm * kSpindleStepRpm;
    }
    wanderOtherTags();

    TTagValues changed;
    const TTagValues after = snapshot();
    for (qsizetype i = 0; i < after.size(); ++i)
        if (after.at(i).second != before.at(i).second) changed.append(after.at(i));
    return changed;
}

TTagValues TMachineValues::snapshot() const {
    const bool active = isActive();
    return {
        {FTags.execution, active ? QStringLiteral("ACTIVE") : QStringLiteral("STOPPED")},
        {FTags.state, active ? QStringLiteral("1") : QStringLiteral("0")},
        {FTags.spindle, spindleText()},
        {FTags.hourMeter, hourMeterText()},
        {FTags.alarm, alarmText()},
    };
}

QString TMachineValues::valueOf(const QString& tag) {
    for (const TTagValue& generated : snapshot())
        if (SameTag(generated.first, tag)) return generated.second;

    const QString key = tag.toUpper();
    auto found = FOtherTags.find(key);
    if (found == FOtherTags.end())
        found = FOtherTags.insert(key, kFirstOtherValue + FRandom.bounded(kOtherValueSpread));
    return QString::number(found.value(), 'f', 1);
}

QString TMachineValues::spindleText() const { return QString::number(FSpindleRpm); }

QString TMachineValues::hourMeterText() const { return QString::number(FHours, 'f', 4); }

QString TMachineValues::alarmText() const {
    const int every = FBehaviour.alarmEveryTicks;
    if (every <= 0) return {};
    const qint64 raised = FTick / every;  // how many alarms were raised so far
    // Cleared before the next one comes, so that a client sees both.
    const int duration = std::clamp(FBehaviour.alarmTicks, 1, std::max(1, every - 1));
    if (raised == 0 || FTick % every >= duration) return {};
    return AlarmTexts().at(static_cast<qsizetype>((raised - 1) % AlarmTexts().size()));
}

void TMachineValues::wanderOtherTags() {
    for (double& value : FOtherTags) {
        const int perMille = FRandom.bounded(-kWanderPerMille, kWanderPerMille + 1);
        value = std::round(value * (1000 + perMille)) / 1000.0;
    }
}
