#pragma once

#include <QDateTime>

// The one source of "now" for code that compares the current time with stored times.
// Tests may freeze or move it; production code only reads it.
namespace Clock {

QDateTime now();     // local time
QDateTime nowUtc();  // the same instant in UTC

// The same instant as milliseconds since the Unix epoch: cheap, for hot paths that only
// compare instants.
qint64 nowMSecsSinceEpoch();

void setNow(const QDateTime& fixed);  // freezes the clock at this instant
void advance(qint64 milliseconds);    // moves a frozen clock forward
void reset();                         // back to the system clock

}  // namespace Clock
