// The local date and time from the system clock.
#include "DateTimeUtils.h"

#include <ctime>

void GetTime(DateTimeRec* d) {
    if (!d) return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    *d = DateTimeRec{int16_t(local.tm_year + 1900), int16_t(local.tm_mon + 1),
                     int16_t(local.tm_mday),        int16_t(local.tm_hour),
                     int16_t(local.tm_min),         int16_t(local.tm_sec),
                     int16_t(local.tm_wday + 1)};
}
