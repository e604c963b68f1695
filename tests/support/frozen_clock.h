#pragma once

#include "util/clock.h"

#include <gtest/gtest.h>

// Freezes the system clock at a known local instant for the length of a test.
class FrozenClockTest : public ::testing::Test {
protected:
    static QDateTime T0() { return QDateTime(QDate(2024, 6, 24), QTime(10, 0, 0)); }
    void SetUp() override { Clock::setNow(T0()); }
    void TearDown() override { Clock::reset(); }
};
