#include "update/HttpDate.h"

#include <cstring>

namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* const kLongDays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

// A cursor over the text; every read either consumes what it wants or fails.
struct Cursor {
    const char* p;

    bool literal(const char* s)
    {
        const std::size_t n = std::strlen(s);
        if (std::strncmp(p, s, n) != 0)
            return false;
        p += n;
        return true;
    }

    // Exactly `count` digits.
    bool digits(int count, int* value)
    {
        int v = 0;
        for (int i = 0; i < count; ++i) {
            if (p[i] < '0' || p[i] > '9')
                return false;
            v = v * 10 + (p[i] - '0');
        }
        p += count;
        *value = v;
        return true;
    }

    // The index of the name of `names` that stands here (names are matched
    // with their case, as the grammar writes them).
    template <std::size_t N> bool name(const char* const (&names)[N], int* index)
    {
        for (std::size_t i = 0; i < N; ++i)
            if (literal(names[i])) {
                *index = static_cast<int>(i);
                return true;
            }
        return false;
    }

    bool time(int* h, int* m, int* s)
    {
        return digits(2, h) && literal(":") && digits(2, m) && literal(":") && digits(2, s);
    }
};

bool leapYear(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
std::int64_t daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

bool compose(int year, int month, int day, int h, int m, int s, std::int64_t* out)
{
    static const int kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 0 || month > 11 || day < 1)
        return false;
    const int length = kLength[month] + (month == 1 && leapYear(year) ? 1 : 0);
    if (day > length || h > 23 || m > 59 || s > 60)
        return false;
    *out = daysFromCivil(year, month + 1, day) * 86400 + h * 3600 + m * 60 + s;
    return true;
}

} // namespace

bool parseHttpDate(const char* text, std::int64_t* epochSeconds)
{
    if (!text || !epochSeconds)
        return false;
    int weekday = 0, day = 0, month = 0, year = 0, h = 0, m = 0, s = 0;
    // "Sun, 06 Nov 1994 08:49:37 GMT"
    Cursor c{text};
    if (c.name(kDays, &weekday) && c.literal(", ") && c.digits(2, &day) && c.literal(" ") && c.name(kMonths, &month) &&
        c.literal(" ") && c.digits(4, &year) && c.literal(" ") && c.time(&h, &m, &s) && c.literal(" GMT") && !*c.p)
        return compose(year, month, day, h, m, s, epochSeconds);
    // "Sunday, 06-Nov-94 08:49:37 GMT"
    c = Cursor{text};
    if (c.name(kLongDays, &weekday) && c.literal(", ") && c.digits(2, &day) && c.literal("-") &&
        c.name(kMonths, &month) && c.literal("-") && c.digits(2, &year) && c.literal(" ") && c.time(&h, &m, &s) &&
        c.literal(" GMT") && !*c.p)
        return compose(year + (year >= 70 ? 1900 : 2000), month, day, h, m, s, epochSeconds);
    // "Sun Nov  6 08:49:37 1994"
    c = Cursor{text};
    if (c.name(kDays, &weekday) && c.literal(" ") && c.name(kMonths, &month) && c.literal(" ")) {
        if (!c.literal(" ") ? !c.digits(2, &day) : !c.digits(1, &day))
            return false;
        if (c.literal(" ") && c.time(&h, &m, &s) && c.literal(" ") && c.digits(4, &year) && !*c.p)
            return compose(year, month, day, h, m, s, epochSeconds);
    }
    return false;
}
