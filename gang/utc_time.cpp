#include "gang/utc_time.h"

#include <cstdio>

namespace fwsend::gang {

namespace {

struct CivilDate {
    long long year;
    unsigned month;
    unsigned day;
};

// The proleptic Gregorian date of a day counted from 1970-01-01 (Howard
// Hinnant's civil_from_days).
CivilDate DateOfDay(long long days) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const long long year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

}  // namespace

std::string UtcText(WallTime time, bool withMilliseconds) {
    using namespace std::chrono;
    const long long milliseconds = duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const long long seconds = milliseconds >= 0 ? milliseconds / 1000 : (milliseconds - 999) / 1000;
    const long long days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const long long secondOfDay = seconds - days * 86400;
    const CivilDate date = DateOfDay(days);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld", date.year, date.month, date.day,
                  secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
    std::string result = text;
    if (withMilliseconds) {
        std::snprintf(text, sizeof text, ".%03lld", milliseconds - seconds * 1000);
        result += text;
    }
    return result + "Z";
}

}  // namespace fwsend::gang
