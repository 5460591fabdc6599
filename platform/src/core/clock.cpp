#include "platform/clock.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace win {
namespace {

using std::chrono::steady_clock;

double ReadScale() {
    const char* text = std::getenv("VREL_CLOCK_SCALE");
    if (!text || !*text) return 1.0;
    const double scale = std::strtod(text, nullptr);
    return scale > 0 ? scale : 1.0;
}

bool ReadFixedTime(SYSTEMTIME& time) {
    const char* text = std::getenv("VREL_FIXED_TIME");
    if (!text || !*text) return false;
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
    const int n = std::sscanf(text, "%4u-%2u-%2uT%2u:%2u:%2u.%3u", &year, &month, &day, &hour,
                              &minute, &second, &milli);
    if (n < 6) return false;
    std::tm tm{};
    tm.tm_year = static_cast<int>(year) - 1900;
    tm.tm_mon = static_cast<int>(month) - 1;
    tm.tm_mday = static_cast<int>(day);
    tm.tm_hour = 12;
    std::mktime(&tm);  // only to learn the day of the week
    time = SYSTEMTIME{static_cast<std::uint16_t>(year),       static_cast<std::uint16_t>(month),
                      static_cast<std::uint16_t>(tm.tm_wday), static_cast<std::uint16_t>(day),
                      static_cast<std::uint16_t>(hour),       static_cast<std::uint16_t>(minute),
                      static_cast<std::uint16_t>(second),     static_cast<std::uint16_t>(milli)};
    return true;
}

std::string TwoDigits(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02u", value % 100);
    return text;
}

}  // namespace

double ClockScale() {
    static const double scale = ReadScale();
    return scale;
}

std::uint32_t GetTickCount() {
    static const auto start = steady_clock::now();
    const auto elapsed = std::chrono::duration<double, std::milli>(steady_clock::now() - start);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(elapsed.count() * ClockScale()));
}

std::chrono::milliseconds ScaledWait(std::uint32_t milliseconds) {
    const double host = milliseconds / ClockScale();
    return std::chrono::milliseconds(static_cast<std::int64_t>(host + 0.999));
}

void Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(ScaledWait(milliseconds));
}

void GetLocalTime(SYSTEMTIME& time) {
    if (ReadFixedTime(time)) return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto milli =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm tm{};
    localtime_r(&seconds, &tm);
    time = SYSTEMTIME{
        static_cast<std::uint16_t>(tm.tm_year + 1900), static_cast<std::uint16_t>(tm.tm_mon + 1),
        static_cast<std::uint16_t>(tm.tm_wday),        static_cast<std::uint16_t>(tm.tm_mday),
        static_cast<std::uint16_t>(tm.tm_hour),        static_cast<std::uint16_t>(tm.tm_min),
        static_cast<std::uint16_t>(tm.tm_sec),         static_cast<std::uint16_t>(milli)};
}

TDateTime SystemTimeToDateTime(const SYSTEMTIME& time) {
    // Days from 1899-12-30 by the civil-from-days algorithm (proleptic Gregorian).
    const int y = time.wYear - (time.wMonth <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (time.wMonth + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + time.wDay - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days_since_1970 = static_cast<long>(era) * 146097 + doe - 719468;
    const double day = static_cast<double>(days_since_1970 + 25569);
    const double fraction =
        (((time.wHour * 60.0 + time.wMinute) * 60.0 + time.wSecond) * 1000.0 + time.wMilliseconds) /
        86400000.0;
    return day + fraction;
}

SYSTEMTIME DateTimeToSystemTime(TDateTime value) {
    auto milliseconds = static_cast<std::int64_t>(std::llround(value * 86400000.0));
    std::int64_t days = milliseconds / 86400000;
    std::int64_t rest = milliseconds % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    // Days since 1970-01-01 to the civil date (Howard Hinnant's days-to-civil algorithm).
    const std::int64_t z = days - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    // 30 December 1899 was a Saturday.
    const std::int64_t weekday = ((days % 7) + 7 + 6) % 7;
    return SYSTEMTIME{static_cast<std::uint16_t>(year),
                      static_cast<std::uint16_t>(month),
                      static_cast<std::uint16_t>(weekday),
                      static_cast<std::uint16_t>(day),
                      static_cast<std::uint16_t>(rest / 3600000),
                      static_cast<std::uint16_t>(rest / 60000 % 60),
                      static_cast<std::uint16_t>(rest / 1000 % 60),
                      static_cast<std::uint16_t>(rest % 1000)};
}

TDateTime Now() {
    SYSTEMTIME time;
    GetLocalTime(time);
    return SystemTimeToDateTime(time);
}

std::string ShortDateText(const SYSTEMTIME& time) {
    return std::to_string(time.wMonth) + "/" + std::to_string(time.wDay) + "/" +
           std::to_string(time.wYear);
}

std::string LongTimeText(const SYSTEMTIME& time) {
    const unsigned hour12 = time.wHour % 12 == 0 ? 12 : time.wHour % 12;
    return std::to_string(hour12) + ":" + TwoDigits(time.wMinute) + ":" + TwoDigits(time.wSecond) +
           (time.wHour < 12 ? " AM" : " PM");
}

std::string DateTimeText(const SYSTEMTIME& time) {
    return ShortDateText(time) + " " + LongTimeText(time);
}

std::string MailDateText() {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SYSTEMTIME time;
    GetLocalTime(time);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const long offset = local.tm_gmtoff / 60;
    const long absolute = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02u %s %04u %02u:%02u:%02u %c%02ld%02ld",
                  kDays[time.wDayOfWeek % 7], time.wDay, kMonths[(time.wMonth + 11) % 12],
                  time.wYear, time.wHour, time.wMinute, time.wSecond, offset < 0 ? '-' : '+',
                  absolute / 60, absolute % 60);
    return text;
}

}  // namespace win
