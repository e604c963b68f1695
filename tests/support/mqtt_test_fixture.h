#pragma once

#include "support/mosquitto_broker.h"
#include "util/timing.h"

#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

// A reconnection interval short enough for tests.
class MqttTimingTest : public ::testing::Test {
protected:
    static constexpr std::chrono::milliseconds kTestReconnect{200};

    void SetUp() override {
        TimingConstants timing = Timing::get();
        timing.mqttReconnect = kTestReconnect;
        Timing::set(timing);
    }
    void TearDown() override { Timing::reset(); }
};

// The same, with a running anonymous test broker.
class MqttBrokerTest : public MqttTimingTest {
protected:
    void SetUp() override {
        MqttTimingTest::SetUp();
        ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    }

    MosquittoBroker broker;
};

// Polls without running the event loop, so that queued events stay queued.
inline bool PollWithoutEvents(const std::function<bool()>& condition, int timeoutMs = 10'000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(2);
    }
    return true;
}
