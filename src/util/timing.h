#pragma once

#include <chrono>

// Every interval the agent waits for, in one place. The defaults are the production
// values; tests shorten them through Timing::set so that nothing sleeps for real minutes.
struct TimingConstants {
    std::chrono::milliseconds mqttReconnect{10'000};
};

namespace Timing {

const TimingConstants& get();
void set(const TimingConstants& constants);  // tests only: call before starting agents
void reset();

}  // namespace Timing
