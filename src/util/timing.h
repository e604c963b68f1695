#pragma once

#include <chrono>

// Every interval the agent waits for, in one place. The defaults are the production
// values; tests shorten them through Timing::set so that nothing sleeps for real minutes.
struct TimingConstants {
    using ms = std::chrono::milliseconds;

    ms mqttReconnect{10'000};         // broker reconnection attempts
    ms dataProcessTick{1'000};        // summary check, poll and re-send pass
    ms poweroffStep{1'000};           // each of the two pauses of a power-off summary
    ms machineConnectDelay{1'000};    // first machine connection attempt after creation
    ms reconnectSecond{1'000};        // one "second" of the machine link back-off (10..120)
    ms socketPing{60'000};            // machine link keep-alive
    ms sendResumos{10'000};           // summary send timer
    ms startTimeout{10'000};          // data processing starts without last values
    ms resumoAckWait{30'000};         // base wait for a summary acknowledgement
    ms resumoAckWaitPerRetry{10'000}; // extra wait per re-send of the same batch
    ms lastValuesPause{1'000};        // pause before the rules are initialised
    ms resumoCountersLog{300'000};    // spacing of the cache counter log line
    ms firstBrokerConnection{100};    // the installation's first connection after start-up
    ms forceAlive{300'000};           // unasked "Alive!" of the installation's connection
};

namespace Timing {

const TimingConstants& get();
void set(const TimingConstants& constants);  // tests only: call before starting agents
void reset();

}  // namespace Timing
