#include "util/timing.h"

namespace Timing {

namespace {
TimingConstants current;
}  // namespace

const TimingConstants& get() { return current; }

void set(const TimingConstants& constants) { current = constants; }

void reset() { current = TimingConstants{}; }

}  // namespace Timing
