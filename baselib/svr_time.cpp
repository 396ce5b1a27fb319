#include "baselib/svr_time.h"

#include <string_view>

#include "baselib/svr_error.h"

namespace Solvaris {

namespace {

const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Reads a text the way the C run-time's sscanf reads it for the handful of
// directives the date patterns use, but never writes past a field and never
// reads past the text: a letter field keeps at most its width, and a number
// at most its width of bytes. The trailing zone word of the patterns is
// never read at all, so its length does not matter.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text), m_pos(0) {}

    // A blank in a pattern: any run of white space, also none.
    void skipSpace()
    {
        while (m_pos < m_text.size() && isSpace(m_text[m_pos]))
            ++m_pos;
    }

    // A literal byte of the pattern.
    bool literal(char c)
    {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    // "%<width>[A-Za-z]": one to width letters, no white space skipped.
    bool letters(size_t width, char* out)
    {
        size_t n = 0;
        while (n < width && m_pos < m_text.size() && isLetter(m_text[m_pos]))
            out[n++] = m_text[m_pos++];
        out[n] = '\0';
        return n > 0;
    }

    // "%<width>d" and "%<width>u": white space skipped, then an optional sign
    // and digits, together at most width bytes, at least one digit.
    bool integer(size_t width, int& out)
    {
        skipSpace();
        size_t used = 0;
        bool negative = false;
        if (used < width && m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) {
            negative = m_text[m_pos] == '-';
            ++m_pos;
            ++used;
        }
        int value = 0;
        size_t digits = 0;
        while (used < width && m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            value = value * 10 + (m_text[m_pos] - '0');
            ++m_pos;
            ++used;
            ++digits;
        }
        if (digits == 0)
            return false;
        out = negative ? -value : value;
        return true;
    }

private:
    static bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    static bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

    std::string_view m_text;
    size_t m_pos;
};

struct DateFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

enum class Reading { NoMatch, Invalid, Fields };

// "%3[A-Za-z], %02d %3[A-Za-z] %04d %02d:%02d:%02d %s": the fields count as
// read once the seconds are there; the zone may be missing.
Reading readHttpForm(std::string_view text, DateFields& f)
{
    Scanner in(text);
    char dayName[4];
    char monthName[4];
    bool ok = in.letters(3, dayName) && in.literal(',') && in.integer(2, f.day) &&
              (in.skipSpace(), in.letters(3, monthName)) && in.integer(4, f.year) &&
              in.integer(2, f.hour) && in.literal(':') && in.integer(2, f.minute) &&
              in.literal(':') && in.integer(2, f.second);
    if (!ok)
        return Reading::NoMatch;
    f.month = TimeDetail::monthFromName(monthName);
    return f.month == 0 ? Reading::Invalid : Reading::Fields;
}

// "%04u-%02u-%02u %02d:%02d:%02d": all six fields or nothing.
Reading readIsoForm(std::string_view text, DateFields& f)
{
    Scanner in(text);
    bool ok = in.integer(4, f.year) && in.literal('-') && in.integer(2, f.month) && in.literal('-') &&
              in.integer(2, f.day) && in.integer(2, f.hour) && in.literal(':') &&
              in.integer(2, f.minute) && in.literal(':') && in.integer(2, f.second);
    return ok ? Reading::Fields : Reading::NoMatch;
}

// The two older forms that HTTP servers may still send, read the same way on
// every platform so that they never depend on the system's reader:
//   RFC 850  "Sunday, 06-Nov-94 08:49:37 GMT"
//   asctime  "Sun Nov  6 08:49:37 1994"
// A two-digit year below 70 is in this century, otherwise in the last.
Reading readOlderForms(std::string_view text, DateFields& f)
{
    char dayName[10];
    char monthName[4];
    Scanner rfc850(text);
    if (rfc850.letters(9, dayName) && rfc850.literal(',') && rfc850.integer(2, f.day) &&
        rfc850.literal('-') && rfc850.letters(3, monthName) && rfc850.literal('-') &&
        rfc850.integer(4, f.year) && rfc850.integer(2, f.hour) && rfc850.literal(':') &&
        rfc850.integer(2, f.minute) && rfc850.literal(':') && rfc850.integer(2, f.second)) {
        if (f.year >= 0 && f.year < 100)
            f.year += f.year < 70 ? 2000 : 1900;
    } else {
        f = DateFields();
        Scanner asctime(text);
        if (!(asctime.letters(3, dayName) && (asctime.skipSpace(), asctime.letters(3, monthName)) &&
              asctime.integer(2, f.day) && asctime.integer(2, f.hour) && asctime.literal(':') &&
              asctime.integer(2, f.minute) && asctime.literal(':') && asctime.integer(2, f.second) &&
              asctime.integer(4, f.year)))
            return Reading::NoMatch;
    }
    f.month = TimeDetail::monthFromName(monthName);
    return f.month == 0 ? Reading::Invalid : Reading::Fields;
}

bool fieldsInRange(const DateFields& f)
{
    return f.year >= 1900 && f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= 31 &&
           f.hour >= 0 && f.hour <= 23 && f.minute >= 0 && f.minute <= 59 && f.second >= 0 &&
           f.second <= 60;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether a time of day "h:mm:ss" or "hh:mm:ss" starts at s[i] (a digit that
// starts a run of digits); fills its three values.
bool clockAt(std::string_view s, size_t i, int* hour, int* minute, int* second)
{
    size_t j = i;
    int h = 0;
    while (j < s.size() && j - i < 3 && isDigit(s[j]))
        h = h * 10 + (s[j++] - '0');
    size_t digits = j - i;
    if (digits < 1 || digits > 2 || j + 6 > s.size() || s[j] != ':' || !isDigit(s[j + 1]) ||
        !isDigit(s[j + 2]) || s[j + 3] != ':' || !isDigit(s[j + 4]) || !isDigit(s[j + 5]) ||
        (j + 6 < s.size() && isDigit(s[j + 6])))
        return false;
    *hour = h;
    *minute = (s[j + 1] - '0') * 10 + (s[j + 2] - '0');
    *second = (s[j + 4] - '0') * 10 + (s[j + 5] - '0');
    return true;
}

// Whether a text is worth handing to the system's HTTP date reader. That
// reader fills whatever it does not find from the current clock and so turns
// any garbage into "now"; it gets only texts of a date's length that name a
// month (a word starting with a month name) and a time of day (h:mm:ss).
bool worthSystemReader(std::string_view s)
{
    const size_t kLongestDate = 128;
    if (s.empty() || s.size() > kLongestDate)
        return false;
    bool month = false;
    bool clock = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (isAsciiLetter(s[i]) && (i == 0 || !isAsciiLetter(s[i - 1])) && i + 3 <= s.size()) {
            char name[4] = {s[i], s[i + 1], s[i + 2], '\0'};
            if (TimeDetail::monthFromName(name) != 0)
                month = true;
        }
        int h, m, sec;
        if (isDigit(s[i]) && (i == 0 || !isDigit(s[i - 1])) && clockAt(s, i, &h, &m, &sec))
            clock = true;
    }
    return month && clock;
}

// The bytes of a text up to its first NUL, as a C reader would see them.
std::string_view textOf(const String& s)
{
    std::string_view all(s.c_str(), static_cast<size_t>(s.length()));
    size_t nul = all.find('\0');
    return nul == std::string_view::npos ? all : all.substr(0, nul);
}

}  // namespace

namespace TimeDetail {

int monthFromName(const char* name)
{
    for (int i = 0; i < 12; ++i) {
        const char* m = kMonthNames[i];
        int k = 0;
        for (; k < 3 && name[k]; ++k) {
            char c = name[k];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            char t = m[k];
            if (t >= 'A' && t <= 'Z')
                t = static_cast<char>(t - 'A' + 'a');
            if (c != t)
                break;
        }
        if (k == 3 && name[3] == '\0')
            return i + 1;
    }
    return 0;
}

bool textStatesTime(const String& text, int year, int hour, int minute, int second)
{
    std::string_view s = textOf(text);
    bool yearSeen = false;
    bool clockSeen = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (!isDigit(s[i]) || (i > 0 && isDigit(s[i - 1])))
            continue;
        // A run of digits starts here: its value, while it stays small.
        size_t end = i;
        long value = 0;
        for (; end < s.size() && isDigit(s[end]); ++end) {
            if (value < 100000)
                value = value * 10 + (s[end] - '0');
        }
        if (value == year)
            yearSeen = true;
        int h, m, sec;
        if (clockAt(s, i, &h, &m, &sec) && h == hour && m == minute && sec == second)
            clockSeen = true;
    }
    return yearSeen && clockSeen;
}

int64_t utcSeconds(int year, int month, int day, int hour, int minute, int second)
{
    // Normalise the month into 1..12 first, then count days from the civil
    // date of the month's first day and add the rest as plain offsets.
    int64_t y = year + (int64_t(month) - 1) / 12;
    int64_t m = (int64_t(month) - 1) % 12;
    if (m < 0) {
        m += 12;
        y -= 1;
    }
    m += 1;
    // Days from 1970-01-01 to y-m-01 (proleptic Gregorian calendar).
    int64_t yy = m <= 2 ? y - 1 : y;
    int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
    int64_t yoe = yy - era * 400;
    int64_t mp = (m + 9) % 12;  // March = 0
    int64_t doy = (153 * mp + 2) / 5;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = era * 146097 + doe - 719468 + (int64_t(day) - 1);
    return days * 86400 + int64_t(hour) * 3600 + int64_t(minute) * 60 + second;
}

}  // namespace TimeDetail

void Time::parseDateString(const String& text)
{
    std::string_view s = textOf(text);
    DateFields f;
    Reading r = readHttpForm(s, f);
    if (r == Reading::NoMatch) {
        f = DateFields();
        r = readIsoForm(s, f);
    }
    if (r == Reading::NoMatch) {
        f = DateFields();
        r = readOlderForms(s, f);
    }

    bool valid = false;
    int64_t result = -1;
    if (r == Reading::Fields) {
        valid = fieldsInRange(f);
        if (valid)
            result = TimeDetail::utcSeconds(f.year, f.month, f.day, f.hour, f.minute, f.second);
    } else if (r == Reading::NoMatch) {
        valid = worthSystemReader(s) && TimeDetail::systemHttpDate(text, result);
    }

    if (!valid || result < 0)
        SVR_THROW(errOperationFailed,
                  String::format("parseDateString \"%s\" could not be parsed.\n", text.c_str()));
    m_seconds = result;
}

Time Time::now()
{
    return Time(TimeDetail::systemNow());
}

}  // namespace Solvaris
