#include "util/clock.h"

#include <mutex>
#include <optional>

namespace Clock {

namespace {
std::mutex guard;
std::optional<QDateTime> frozen;
}  // namespace

QDateTime now() {
    std::lock_guard lock(guard);
    return frozen ? frozen->toLocalTime() : QDateTime::currentDateTime();
}

QDateTime nowUtc() { return now().toUTC(); }

qint64 nowMSecsSinceEpoch() {
    std::lock_guard lock(guard);
    return frozen ? frozen->toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
}

void setNow(const QDateTime& fixed) {
    std::lock_guard lock(guard);
    frozen = fixed;
}

void advance(qint64 milliseconds) {
    std::lock_guard lock(guard);
    frozen = (frozen ? *frozen : QDateTime::currentDateTime()).addMSecs(milliseconds);
}

void reset() {
    std::lock_guard lock(guard);
    frozen.reset();
}

}  // namespace Clock
