// The machine's one clock. Every wait and every reading of time goes through here.
//
// VREL_CLOCK_SCALE (default 1) divides every wait and speeds the tick count by the same
// factor, so the suite keeps its real time-outs while a test sees them pass quickly.
// VREL_FIXED_TIME (e.g. 2026-12-09T10:10:10.001) freezes the local date and time.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace win {

struct SYSTEMTIME {
    std::uint16_t wYear;
    std::uint16_t wMonth;
    std::uint16_t wDayOfWeek;
    std::uint16_t wDay;
    std::uint16_t wHour;
    std::uint16_t wMinute;
    std::uint16_t wSecond;
    std::uint16_t wMilliseconds;
};

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

std::uint32_t GetTickCount();
void Sleep(std::uint32_t milliseconds);
void GetLocalTime(SYSTEMTIME& time);
TDateTime Now();
TDateTime SystemTimeToDateTime(const SYSTEMTIME& time);
// The inverse, to the millisecond (the day of the week filled in).
SYSTEMTIME DateTimeToSystemTime(TDateTime value);

// The host duration of a wait of the given machine milliseconds.
std::chrono::milliseconds ScaledWait(std::uint32_t milliseconds);
double ClockScale();

// Texts of the machine's locale (en-US): short date "M/d/yyyy", long time "h:mm:ss AM/PM".
std::string ShortDateText(const SYSTEMTIME& time);
std::string LongTimeText(const SYSTEMTIME& time);
// Short date, one blank, long time: the form of every dated line the suite writes.
std::string DateTimeText(const SYSTEMTIME& time);
// The local date and time as mail headers write it (RFC 5322), with the host's offset from
// UTC: "Wed, 09 Dec 2026 10:10:10 +0100".
std::string MailDateText();

}  // namespace win
