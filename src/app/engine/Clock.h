#pragma once
// The program's clocks (monotonic and local wall clock, replaceable by tests) live in the
// devices layer, so that the worker threads read the same clock as the window thread; see
// clock/Clock.h. Here: the conversions of wall-clock readings for display and files.

#include <QDateTime>

#include "clock/Clock.h"
#include "text/LocalDateTime.h"

namespace tessaro {

// The inverse of LocalDateTimeToDays; an invalid date-time for a day count no date can hold.
QDateTime DaysToLocalDateTime(double days);

// The core's form of a wall-clock reading.
TLocalDateTime ToLocalDateTime(const QDateTime& local);

}  // namespace tessaro
