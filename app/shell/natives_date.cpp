// Dates and times of the calculator language: DateAdd, DateDiff, both Format
// natives, Date, Now, Time and Timer. Dates travel as text in the C locale
// ("MM/DD/YYYY hh:mm:ss", 24-hour clock); the calendar is the proleptic
// Gregorian one, counted in whole days from 12/30/1899 (day 0 of the classic
// date serial) plus the seconds of the day.
#include "shell/natives.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <memory>
#include <vector>

#include "shell/binding.h"
#include "shell/format.h"

namespace nomix {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int kMinYear = 100, kMaxYear = 9999;

constexpr const char *kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
constexpr const char *kDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// ---------------------------------------------------------------------------
// The calendar.

struct Civil {
    int year = 0, month = 0, day = 0;
};

// Days since 1970-01-01 of a Gregorian date (valid for every year used here).
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The Gregorian date of a day counted from 1970-01-01.
Civil civilFromDays(int64_t z) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400 + (m <= 2)), m, d};
}

const int64_t kSerialEpoch = daysFromCivil(1899, 12, 30);

// The calendar date of a moment, and the day number of a calendar date.
Civil civilOf(const DateTime &t) { return civilFromDays(t.day + kSerialEpoch); }
int64_t dayOf(int year, int month, int day) { return daysFromCivil(year, month, day) - kSerialEpoch; }

// Gregorian leap years: every fourth, but not centuries unless divisible by 400.
bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// The length of a month (1 to 12) in that year.
int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Division and remainder rounding toward minus infinity, so that days before
// 12/30/1899 fall into the right week, hour or month.
int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }

// 1 Sunday .. 7 Saturday; day 0 (12/30/1899) was a Saturday.
int weekdayOf(int64_t day) { return static_cast<int>(floorMod(day + 6, 7)) + 1; }

// The first day of the week that holds `day`, weeks starting on firstDayOfWeek.
int64_t weekStart(int64_t day, int firstDayOfWeek) {
    return day - floorMod(weekdayOf(day) - firstDayOfWeek, 7);
}

// True for the years dates may have: 100 to 9999.
bool inYearRange(const DateTime &t) {
    int y = civilOf(t).year;
    return y >= kMinYear && y <= kMaxYear;
}

// The first day of week 1 of a year by the week-of-year rule.
int64_t firstWeekStart(int year, int firstDayOfWeek, int firstWeekOfYear) {
    int64_t jan1 = dayOf(year, 1, 1);
    int64_t start = weekStart(jan1, firstDayOfWeek);
    int64_t daysInYear = start + 7 - jan1;  // days of that week in the new year
    if (firstWeekOfYear == 2 && daysInYear < 4) start += 7;
    if (firstWeekOfYear == 3 && start < jan1) start += 7;
    return start;
}

// The week of the year, 1 to 54; days before week 1 belong to the last week of
// the year before. With four-day weeks (as ISO 8601 counts them) the last days
// of December may be week 1 of the next year; the other rules count them on.
int weekOfYear(const DateTime &t, int firstDayOfWeek, int firstWeekOfYear) {
    int year = civilOf(t).year;
    int64_t start = firstWeekStart(year, firstDayOfWeek, firstWeekOfYear);
    if (t.day < start)
        start = firstWeekStart(year - 1, firstDayOfWeek, firstWeekOfYear);
    else if (firstWeekOfYear == 2 && t.day >= firstWeekStart(year + 1, firstDayOfWeek, firstWeekOfYear))
        return 1;
    return static_cast<int>((t.day - start) / 7) + 1;
}

// ---------------------------------------------------------------------------
// Reading date text.

// ASCII lower case: date words and format characters ignore case.
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Equality and prefix tests with ASCII case ignored.
bool equalsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool startsFolded(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsFolded(text.substr(0, prefix.size()), prefix);
}

// Character classes of date text.
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A piece of date text: a number (up to 4 digits), a word or a mark.
struct Token {
    enum class Kind { Number, Word, Mark } kind;
    std::string_view text;
    int value = 0;  // numbers
};

// Numbers, words and the marks / - : , . ; blanks only separate.
std::optional<std::vector<Token>> tokenize(std::string_view s) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        size_t start = i;
        if (c == ' ' || c == '\t') {
            ++i;
        } else if (isDigit(c)) {
            while (i < s.size() && isDigit(s[i])) ++i;
            if (i - start > 4) return std::nullopt;
            int v = 0;
            std::from_chars(s.data() + start, s.data() + i, v);
            tokens.push_back({Token::Kind::Number, s.substr(start, i - start), v});
        } else if (isLetter(c)) {
            while (i < s.size() && isLetter(s[i])) ++i;
            tokens.push_back({Token::Kind::Word, s.substr(start, i - start)});
        } else if (std::string_view("/-:,.").find(c) != std::string_view::npos) {
            tokens.push_back({Token::Kind::Mark, s.substr(i++, 1)});
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}

// A month by its name or its first three letters, 1 to 12.
std::optional<int> monthByName(std::string_view word) {
    for (int m = 0; m < 12; ++m) {
        std::string_view name = kMonthNames[m];
        if (equalsFolded(word, name) || (word.size() == 3 && startsFolded(name, word))) return m + 1;
    }
    return std::nullopt;
}

// A weekday name or its first three letters (allowed, and ignored, before a date).
bool isDayName(std::string_view word) {
    for (std::string_view name : kDayNames)
        if (equalsFolded(word, name) || (word.size() == 3 && startsFolded(name, word))) return true;
    return false;
}

// Two-digit years: 00-29 are 2000-2029, 30-99 are 1930-1999.
int fullYear(const Token &t) {
    if (t.text.size() > 2) return t.value;
    return t.value < 30 ? 2000 + t.value : 1900 + t.value;
}

// Walks the tokens of a date text.
struct Cursor {
    const std::vector<Token> &tokens;
    size_t at = 0;

    // The token `ahead` places on, nullptr past the end.
    const Token *peek(size_t ahead = 0) const {
        return at + ahead < tokens.size() ? &tokens[at + ahead] : nullptr;
    }
    // Tests of the token `ahead` places on.
    bool isMark(char c, size_t ahead = 0) const {
        const Token *t = peek(ahead);
        return t && t->kind == Token::Kind::Mark && t->text[0] == c;
    }
    bool isKind(Token::Kind kind, size_t ahead = 0) const {
        const Token *t = peek(ahead);
        return t && t->kind == kind;
    }
    // Passes over any of these marks.
    void skipMarks(std::string_view marks) {
        while (isKind(Token::Kind::Mark) && marks.find(peek()->text[0]) != std::string_view::npos) ++at;
    }
};

// The time of day at the cursor: h:mm[:ss] [AM|PM|A|P]; nullopt when it is not one.
std::optional<int> readTime(Cursor &c) {
    if (!c.isKind(Token::Kind::Number) || !c.isMark(':', 1) || !c.isKind(Token::Kind::Number, 2))
        return std::nullopt;
    int h = c.peek()->value, m = c.peek(2)->value, s = 0;
    c.at += 3;
    if (c.isMark(':') && c.isKind(Token::Kind::Number, 1)) {
        s = c.peek(1)->value;
        c.at += 2;
    }
    if (c.isKind(Token::Kind::Word)) {
        std::string_view w = c.peek()->text;
        bool pm = equalsFolded(w, "PM") || equalsFolded(w, "P");
        if (!pm && !equalsFolded(w, "AM") && !equalsFolded(w, "A")) return std::nullopt;
        if (h < 1 || h > 12) return std::nullopt;
        h = h % 12 + (pm ? 12 : 0);
        ++c.at;
    }
    if (h > 23 || m > 59 || s > 59) return std::nullopt;
    return h * 3600 + m * 60 + s;
}

// The day number of a date that exists in the calendar, else nullopt.
std::optional<int64_t> validDay(int year, int month, int day) {
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12) return std::nullopt;
    if (day < 1 || day > daysInMonth(year, month)) return std::nullopt;
    return dayOf(year, month, day);
}

// Three numbers joined by "/" or "-": M/D/Y, or Y-M-D when the first has four digits.
std::optional<int64_t> readNumericDate(Cursor &c) {
    if (!c.isKind(Token::Kind::Number) || !(c.isMark('/', 1) || c.isMark('-', 1)) ||
        !c.isKind(Token::Kind::Number, 2) || !c.isMark(c.peek(1)->text[0], 3) || !c.isKind(Token::Kind::Number, 4))
        return std::nullopt;
    const Token &a = *c.peek(), &b = *c.peek(2), &y = *c.peek(4);
    c.at += 5;
    if (a.text.size() == 4) return validDay(a.value, b.value, y.value);
    return validDay(fullYear(y), a.value, b.value);
}

// "December 31, 2024", "Dec 31 2024", "31 Dec 2024", "31-Dec-24".
std::optional<int64_t> readNamedDate(Cursor &c) {
    if (c.isKind(Token::Kind::Word)) {
        auto month = monthByName(c.peek()->text);
        if (!month || !c.isKind(Token::Kind::Number, 1)) return std::nullopt;
        int day = c.peek(1)->value;
        c.at += 2;
        c.skipMarks(",");
        if (!c.isKind(Token::Kind::Number)) return std::nullopt;
        int year = fullYear(*c.peek());
        ++c.at;
        return validDay(year, *month, day);
    }
    if (!c.isKind(Token::Kind::Number)) return std::nullopt;
    int day = c.peek()->value;
    ++c.at;
    c.skipMarks("-");
    if (!c.isKind(Token::Kind::Word)) return std::nullopt;
    auto month = monthByName(c.peek()->text);
    ++c.at;
    c.skipMarks("-,");
    if (!month || !c.isKind(Token::Kind::Number)) return std::nullopt;
    int year = fullYear(*c.peek());
    ++c.at;
    return validDay(year, *month, day);
}

// A date in any of the forms read, after an optional weekday name; the cursor
// stays put when there is none.
std::optional<int64_t> readDate(Cursor &c) {
    if (c.isKind(Token::Kind::Word) && isDayName(c.peek()->text)) {
        ++c.at;
        c.skipMarks(",");
    }
    size_t start = c.at;
    if (auto day = readNumericDate(c)) return day;
    c.at = start;
    if (auto day = readNamedDate(c)) return day;
    c.at = start;
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Writing date text.

// Numbers with leading zeros to two and four digits.
std::string twoDigits(int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

std::string fourDigits(int v) {
    std::string s = std::to_string(v);
    return std::string(s.size() < 4 ? 4 - s.size() : 0, '0') + s;
}

// The parts of the time of day.
int hourOf(const DateTime &t) { return t.second / 3600; }
int minuteOf(const DateTime &t) { return t.second / 60 % 60; }
int secondOf(const DateTime &t) { return t.second % 60; }

// "12/31/2024".
std::string shortDate(const DateTime &t) {
    Civil c = civilOf(t);
    return twoDigits(c.month) + "/" + twoDigits(c.day) + "/" + fourDigits(c.year);
}

// "Tuesday, December 31, 2024".
std::string longDate(const DateTime &t) {
    Civil c = civilOf(t);
    return std::string(kDayNames[weekdayOf(t.day) - 1]) + ", " + kMonthNames[c.month - 1] + " " +
           std::to_string(c.day) + ", " + fourDigits(c.year);
}

// "13:05:09" (24-hour clock, as the C locale writes times).
std::string longTime(const DateTime &t) {
    return twoDigits(hourOf(t)) + ":" + twoDigits(minuteOf(t)) + ":" + twoDigits(secondOf(t));
}

// The named date formats, by their pattern.
std::optional<std::string_view> namedDatePattern(std::string_view name) {
    struct Named {
        std::string_view name, pattern;
    };
    static constexpr Named kNamed[] = {
        {"General Date", "c"},        {"Long Date", "dddddd"},      {"Medium Date", "dd-mmm-yy"},
        {"Short Date", "ddddd"},      {"Long Time", "ttttt"},       {"Medium Time", "hh:nn AM/PM"},
        {"Short Time", "hh:nn"}};
    for (const Named &n : kNamed)
        if (equalsFolded(name, n.name)) return n.pattern;
    return std::nullopt;
}

// The names the number formatter knows, which are never date formats.
bool isNamedNumberFormat(std::string_view name) {
    static constexpr std::string_view kNamed[] = {"General Number", "General", "Currency", "Fixed",  "Standard",
                                                  "Percent",        "Scientific", "Yes/No", "True/False", "On/Off"};
    for (std::string_view n : kNamed)
        if (equalsFolded(name, n)) return true;
    return false;
}

// The AM/PM marker of a pattern at position i, if one starts there.
std::optional<std::string_view> ampmAt(std::string_view f, size_t i) {
    for (std::string_view marker : {"AM/PM", "AMPM", "A/P"})
        if (startsFolded(f.substr(i), marker)) return f.substr(i, marker.size());
    return std::nullopt;
}

// The text of an AM/PM marker for the hour, in the marker's own case.
std::string ampmText(std::string_view marker, int hour) {
    bool pm = hour >= 12;
    bool upper = marker[0] == 'A';
    if (equalsFolded(marker, "A/P")) return pm ? (upper ? "P" : "p") : (upper ? "A" : "a");
    return pm ? (upper ? "PM" : "pm") : (upper ? "AM" : "am");
}

// True when a pattern holds an AM/PM marker outside quotes: hours then run 1 to 12.
bool usesTwelveHours(std::string_view f) {
    bool quoted = false;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] == '"') quoted = !quoted;
        else if (!quoted && f[i] == '\\') ++i;
        else if (!quoted && ampmAt(f, i)) return true;
    }
    return false;
}

// Formats one moment through a pattern of date characters.
class DatePattern {
public:
    DatePattern(const DateTime &t, int firstDayOfWeek, int firstWeekOfYear)
        : t_(t), c_(civilOf(t)), firstDayOfWeek_(firstDayOfWeek), firstWeekOfYear_(firstWeekOfYear) {}

    // The pattern with every run of date characters replaced by its text.
    std::string apply(std::string_view f) {
        twelveHours_ = usesTwelveHours(f);
        std::string out;
        size_t i = 0;
        while (i < f.size()) {
            char ch = f[i];
            if (ch == '"') {
                size_t end = f.find('"', i + 1);
                if (end == std::string_view::npos) end = f.size();
                out += f.substr(i + 1, end - i - 1);
                i = end + 1;
            } else if (ch == '\\') {
                if (i + 1 < f.size()) out += f[i + 1];
                i += 2;
            } else if (auto marker = ampmAt(f, i)) {
                out += ampmText(*marker, hourOf(t_));
                i += marker->size();
            } else {
                size_t run = 1;
                while (i + run < f.size() && lower(f[i + run]) == lower(ch)) ++run;
                out += field(lower(ch), run);
                i += run;
            }
        }
        return out;
    }

private:
    // One run of a date character; anything that is not one stands for itself.
    // Remembers whether the run was an hour, so that a following m is minutes.
    std::string field(char ch, size_t run) {
        bool hour = ch == 'h';
        std::string text = fieldText(ch, run);
        if (ch == 'd' || ch == 'w' || ch == 'm' || ch == 'q' || ch == 'y' || ch == 'h' || ch == 'n' ||
            ch == 's' || ch == 'c')
            lastWasHour_ = hour;
        return text;
    }

    // The text of a run of one date character (lower case) of that length.
    std::string fieldText(char ch, size_t run) {
        switch (ch) {
        case 'c': return generalDate();
        case 'd': return dayField(run);
        case 'w': return run == 1 ? std::to_string(floorMod(weekdayOf(t_.day) - firstDayOfWeek_, 7) + 1)
                                  : std::to_string(weekOfYear(t_, firstDayOfWeek_, firstWeekOfYear_));
        case 'm': return lastWasHour_ ? padded(minuteOf(t_), run) : monthField(run);
        case 'q': return std::to_string((c_.month - 1) / 3 + 1);
        case 'y': return yearField(run);
        case 'h': return padded(twelveHours_ ? (hourOf(t_) + 11) % 12 + 1 : hourOf(t_), run);
        case 'n': return padded(minuteOf(t_), run);
        case 's': return padded(secondOf(t_), run);
        case 't': return run >= 5 ? longTime(t_) : std::string(run, 't');
        default: return std::string(run, ch);
        }
    }

    // One character: no padding; two or more: two digits.
    static std::string padded(int v, size_t run) { return run >= 2 ? twoDigits(v) : std::to_string(v); }

    // d, dd, ddd, dddd, ddddd (short date), dddddd (long date).
    std::string dayField(size_t run) {
        switch (run) {
        case 1: return std::to_string(c_.day);
        case 2: return twoDigits(c_.day);
        case 3: return std::string(kDayNames[weekdayOf(t_.day) - 1]).substr(0, 3);
        case 4: return kDayNames[weekdayOf(t_.day) - 1];
        case 5: return shortDate(t_);
        default: return longDate(t_);
        }
    }

    // m, mm, mmm, mmmm.
    std::string monthField(size_t run) {
        if (run <= 2) return padded(c_.month, run);
        std::string name = kMonthNames[c_.month - 1];
        return run == 3 ? name.substr(0, 3) : name;
    }

    // y (day of the year), yy, yyyy.
    std::string yearField(size_t run) {
        if (run == 1) return std::to_string(t_.day - dayOf(c_.year, 1, 1) + 1);
        if (run == 2) return twoDigits(c_.year % 100);
        return fourDigits(c_.year);
    }

    // c: the general date text.
    std::string generalDate() { return dateTimeText(t_); }

    DateTime t_;
    Civil c_;
    int firstDayOfWeek_, firstWeekOfYear_;
    bool twelveHours_ = false;
    bool lastWasHour_ = false;
};

// ---------------------------------------------------------------------------
// Intervals.

// The interval codes of DateAdd and DateDiff.
enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

// The interval of a code (blanks around it and case ignored).
std::optional<Interval> intervalByCode(std::string_view code) {
    struct Code {
        std::string_view text;
        Interval interval;
    };
    static constexpr Code kCodes[] = {{"yyyy", Interval::Year},  {"q", Interval::Quarter},  {"m", Interval::Month},
                                      {"y", Interval::DayOfYear}, {"d", Interval::Day},     {"w", Interval::Weekday},
                                      {"ww", Interval::Week},     {"h", Interval::Hour},    {"n", Interval::Minute},
                                      {"s", Interval::Second}};
    while (!code.empty() && code.front() == ' ') code.remove_prefix(1);
    while (!code.empty() && code.back() == ' ') code.remove_suffix(1);
    for (const Code &c : kCodes)
        if (equalsFolded(code, c.text)) return c.interval;
    return std::nullopt;
}

// Months added with the day kept, or moved back to the end of a shorter month.
std::optional<DateTime> addMonths(const DateTime &t, int64_t months) {
    Civil c = civilOf(t);
    int64_t index = int64_t{c.year} * 12 + (c.month - 1) + months;
    int64_t year = floorDiv(index, 12);
    if (year < kMinYear || year > kMaxYear) return std::nullopt;
    int month = static_cast<int>(floorMod(index, 12)) + 1;
    int day = std::min(c.day, daysInMonth(static_cast<int>(year), month));
    return DateTime{dayOf(static_cast<int>(year), month, day), t.second};
}

// Seconds added (days, weeks, hours and minutes are whole numbers of seconds);
// nullopt outside the years 100 to 9999.
std::optional<DateTime> addSeconds(const DateTime &t, int64_t seconds) {
    int64_t total = t.day * kSecondsPerDay + t.second + seconds;
    DateTime r{floorDiv(total, kSecondsPerDay), static_cast<int32_t>(floorMod(total, kSecondsPerDay))};
    return inYearRange(r) ? std::optional<DateTime>(r) : std::nullopt;
}

// Months counted from year 0, for month and quarter differences.
int64_t monthIndex(const DateTime &t) {
    Civil c = civilOf(t);
    return int64_t{c.year} * 12 + c.month - 1;
}

// Seconds counted from day 0, for hour, minute and second differences.
int64_t totalSeconds(const DateTime &t) { return t.day * kSecondsPerDay + t.second; }

// ---------------------------------------------------------------------------
// The natives' plumbing.

// A whole number, rounded to nearest with halves to even; nullopt when not
// finite or beyond the limit.
std::optional<int64_t> wholeNumber(double v, double limit) {
    double r = std::nearbyint(v);
    if (!std::isfinite(r) || std::fabs(r) > limit) return std::nullopt;
    return static_cast<int64_t>(r);
}

// The optional day-of-week and week-of-year arguments: 0 means the C locale's
// choice (Sunday; the week of January 1).
struct WeekRules {
    int firstDayOfWeek = 1, firstWeekOfYear = 1;
};

std::optional<WeekRules> weekRules(OperationRecord *record, intptr_t dayIndex) {
    WeekRules rules;
    intptr_t count = nxParamCount(record);
    if (count >= dayIndex) {
        auto d = wholeNumber(nxParamDbl(record, dayIndex), 7);
        if (!d || *d < 0) return std::nullopt;
        rules.firstDayOfWeek = *d == 0 ? 1 : static_cast<int>(*d);
    }
    if (count >= dayIndex + 1) {
        auto w = wholeNumber(nxParamDbl(record, dayIndex + 1), 3);
        if (!w || *w < 0) return std::nullopt;
        rules.firstWeekOfYear = *w == 0 ? 1 : static_cast<int>(*w);
    }
    return rules;
}

// The native's text result.
void returnText(OperationRecord *record, const std::string &text) { nxReturnStr(record, text.c_str()); }

// The error raised in the calling evaluation, with an empty text result.
void failText(OperationRecord *record, const std::string &message) {
    binding().RaiseError(record, message);
    returnText(record, "");
}

// Messages of the errors the date natives raise.
const char *const kBadInterval = "Invalid interval: use yyyy, q, m, y, d, w, ww, h, n or s";
const char *const kBadWeekRules = "Invalid first day of week (0 to 7) or first week of year (0 to 3)";

// The whole text as a number, nothing else but blanks around it.
std::optional<double> wholeTextNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return v;
}

// A number through a date format (as a date serial) or a number format.
std::string formatValue(double value, std::string_view format, const WeekRules &rules) {
    if (!isDateFormat(format)) return formatNumber(value, format);
    // Beyond a few million days no serial is a date of the years 100 to 9999.
    if (!std::isfinite(value) || std::fabs(value) > 4e6) return formatNumber(value, "");
    DateTime t = dateFromSerial(value);
    if (!inYearRange(t)) return formatNumber(value, "");
    return formatDate(t, format, rules.firstDayOfWeek, rules.firstWeekOfYear);
}

} // namespace

// ---------------------------------------------------------------------------

// Shared by every native that takes text (here, so that any program with the
// numeric natives links the date natives too).
std::string paramText(OperationRecord *record, intptr_t index) {
    std::unique_ptr<char, decltype(&nxStrFree)> text(nxParamStr(record, index), &nxStrFree);
    if (!text) return {};
    return std::string(text.get(), nxStrLen(text.get()));
}

DateTime dateFromCivil(int year, int month, int day, int hour, int minute, int second) {
    return {dayOf(year, month, day), hour * 3600 + minute * 60 + second};
}

double dateSerial(const DateTime &t) { return static_cast<double>(t.day) + t.second / double(kSecondsPerDay); }

// Whole seconds, rounded to the nearest; the time of day is the fraction above
// the day's whole number, also before day 0.
DateTime dateFromSerial(double serial) {
    double day = std::floor(serial);
    auto second = static_cast<int64_t>(std::nearbyint((serial - day) * kSecondsPerDay));
    auto whole = static_cast<int64_t>(day);
    if (second >= kSecondsPerDay) {
        ++whole;
        second -= kSecondsPerDay;
    }
    return {whole, static_cast<int32_t>(second)};
}

std::optional<DateTime> parseDateTime(std::string_view text) {
    auto tokens = tokenize(text);
    if (!tokens || tokens->empty()) return std::nullopt;
    Cursor c{*tokens};
    DateTime result;
    bool any = false;
    if (auto time = readTime(c)) {
        result.second = *time;
        any = true;
    } else if (auto day = readDate(c)) {
        result.day = *day;
        any = true;
        if (c.peek()) {
            auto time = readTime(c);
            if (!time) return std::nullopt;
            result.second = *time;
        }
    }
    if (!any || c.peek()) return std::nullopt;
    return result;
}

std::string dateTimeText(const DateTime &t) {
    if (t.second == 0) return shortDate(t);
    if (t.day == 0) return longTime(t);
    return shortDate(t) + " " + longTime(t);
}

std::optional<DateTime> dateAdd(std::string_view interval, int64_t number, const DateTime &t) {
    auto unit = intervalByCode(interval);
    // Ten thousand years hold fewer than 2^39 seconds: larger steps are out of range anyway.
    if (!unit || std::llabs(number) > (int64_t{1} << 40)) return std::nullopt;
    switch (*unit) {
    case Interval::Year: return addMonths(t, number * 12);
    case Interval::Quarter: return addMonths(t, number * 3);
    case Interval::Month: return addMonths(t, number);
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday: return addSeconds(t, number * kSecondsPerDay);
    case Interval::Week: return addSeconds(t, number * 7 * kSecondsPerDay);
    case Interval::Hour: return addSeconds(t, number * 3600);
    case Interval::Minute: return addSeconds(t, number * 60);
    case Interval::Second: return addSeconds(t, number);
    }
    return std::nullopt;
}

std::optional<int64_t> dateDiff(std::string_view interval, const DateTime &from, const DateTime &to,
                                int firstDayOfWeek) {
    auto unit = intervalByCode(interval);
    if (!unit || firstDayOfWeek < 1 || firstDayOfWeek > 7) return std::nullopt;
    switch (*unit) {
    case Interval::Year: return civilOf(to).year - civilOf(from).year;
    case Interval::Quarter: return floorDiv(monthIndex(to), 3) - floorDiv(monthIndex(from), 3);
    case Interval::Month: return monthIndex(to) - monthIndex(from);
    case Interval::DayOfYear:
    case Interval::Day: return to.day - from.day;
    case Interval::Weekday: return (to.day - from.day) / 7;
    case Interval::Week: return (weekStart(to.day, firstDayOfWeek) - weekStart(from.day, firstDayOfWeek)) / 7;
    case Interval::Hour: return floorDiv(totalSeconds(to), 3600) - floorDiv(totalSeconds(from), 3600);
    case Interval::Minute: return floorDiv(totalSeconds(to), 60) - floorDiv(totalSeconds(from), 60);
    case Interval::Second: return totalSeconds(to) - totalSeconds(from);
    }
    return std::nullopt;
}

std::string formatDate(const DateTime &t, std::string_view format, int firstDayOfWeek, int firstWeekOfYear) {
    if (format.empty()) return dateTimeText(t);
    std::string_view pattern = namedDatePattern(format).value_or(format);
    return DatePattern(t, firstDayOfWeek, firstWeekOfYear).apply(pattern);
}

bool isDateFormat(std::string_view format) {
    if (namedDatePattern(format)) return true;
    if (format.empty() || isNamedNumberFormat(format)) return false;
    bool quoted = false, dateCharacter = false;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c == '"') quoted = !quoted;
        if (quoted || c == '"') continue;
        if (c == '\\') {
            ++i;
            continue;
        }
        if (c == '#' || c == '0' || c == '%' || c == '@' || c == '&') return false;
        if (std::string_view("cdwmqyhnst").find(lower(c)) != std::string_view::npos || ampmAt(format, i))
            dateCharacter = true;
    }
    return dateCharacter;
}

DateTime currentDateTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return dateFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                         std::min(local.tm_sec, 59));
}

double secondsSinceMidnight() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + now.tv_nsec / 1e9;
}

// ---------------------------------------------------------------------------
// The natives.

void nativeDateAdd(OperationRecord *record) {
    std::string interval = paramText(record, 1), text = paramText(record, 3);
    auto date = parseDateTime(text);
    if (!date) return failText(record, "Invalid date: " + text);
    if (!intervalByCode(interval)) return failText(record, kBadInterval);
    auto number = wholeNumber(nxParamDbl(record, 2), 1e15);
    auto moved = number ? dateAdd(interval, *number, *date) : std::nullopt;
    if (!moved) return failText(record, "Date out of range (years 100 to 9999)");
    returnText(record, dateTimeText(*moved));
}

void nativeDateDiff(OperationRecord *record) {
    std::string interval = paramText(record, 1), first = paramText(record, 2), second = paramText(record, 3);
    auto from = parseDateTime(first), to = parseDateTime(second);
    auto rules = weekRules(record, 4);
    std::string problem = !from ? "Invalid date: " + first
                        : !to   ? "Invalid date: " + second
                        : !intervalByCode(interval) ? std::string(kBadInterval)
                        : !rules ? std::string(kBadWeekRules)
                                 : std::string();
    if (!problem.empty()) {
        binding().RaiseError(record, problem);
        nxReturnDbl(record, std::nan(""));
        return;
    }
    nxReturnDbl(record, static_cast<double>(*dateDiff(interval, *from, *to, rules->firstDayOfWeek)));
}

void nativeFormatNumber(OperationRecord *record) {
    returnText(record, formatValue(nxParamDbl(record, 1), paramText(record, 2), WeekRules{}));
}

// Text that reads as a number is formatted as that number; text that reads as
// a date through a date format (or as a date serial through a number format);
// any other text is given back unchanged.
void nativeFormatText(OperationRecord *record) {
    std::string text = paramText(record, 1), format = paramText(record, 2);
    auto rules = weekRules(record, 3);
    if (!rules) return failText(record, kBadWeekRules);
    if (auto number = wholeTextNumber(text)) return returnText(record, formatValue(*number, format, *rules));
    auto date = parseDateTime(text);
    if (!date) return returnText(record, text);
    if (!format.empty() && !isDateFormat(format))
        return returnText(record, formatNumber(dateSerial(*date), format));
    returnText(record, formatDate(*date, format, rules->firstDayOfWeek, rules->firstWeekOfYear));
}

void nativeDate(OperationRecord *record) { returnText(record, shortDate(currentDateTime())); }

void nativeNow(OperationRecord *record) {
    DateTime now = currentDateTime();
    returnText(record, shortDate(now) + " " + longTime(now));
}

void nativeTime(OperationRecord *record) { returnText(record, longTime(currentDateTime())); }

void nativeTimer(OperationRecord *record) { nxReturnDbl(record, secondsSinceMidnight()); }

} // namespace nomix
