// The local date and time (the platform's Date and Time Utilities, as far as they are used).
#pragma once

#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

// A calendar date and time of day; dayOfWeek counts from 1 for Sunday.
struct DateTimeRec {
    int16_t year, month, day, hour, minute, second, dayOfWeek;
};

// The current local date and time.
void GetTime(DateTimeRec* d);

PLATFORM_EXPORTS_END
