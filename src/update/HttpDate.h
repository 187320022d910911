#pragma once
// HTTP-dates as servers send them in Date, Last-Modified and Retry-After: the
// preferred form "Sun, 06 Nov 1994 08:49:37 GMT" and the two obsolete forms a
// recipient must still read, "Sunday, 06-Nov-94 08:49:37 GMT" and
// "Sun Nov  6 08:49:37 1994". Portable: no locale, no time zone, no clock.

#include <cstdint>

// Seconds since 1970-01-01 00:00:00 UTC of `text`. False for anything else:
// another layout, a field out of range (the 31st of April, hour 24), bytes
// after the date, a year before 1970. The two-digit year of the second form
// is 19xx from 70 on and 20xx below. The weekday must be a weekday's name but
// is not checked against the date (servers get it wrong; it decides nothing).
bool parseHttpDate(const char* text, std::int64_t* epochSeconds);
