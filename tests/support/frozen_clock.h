#pragma once

#include "support/qt_printers.h"
#include "util/clock.h"

#include <gtest/gtest.h>

// Freezes the system clock at a known local instant for the length of a test. The clock is
// set in the constructor so that members of derived fixtures are built at that instant.
class FrozenClockTest : public ::testing::Test {
protected:
    static QDateTime T0() { return QDateTime(QDate(2024, 6, 24), QTime(10, 0, 0)); }
    FrozenClockTest() { Clock::setNow(T0()); }
    ~FrozenClockTest() override { Clock::reset(); }
};
