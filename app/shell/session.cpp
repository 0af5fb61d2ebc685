// Reading and writing "nomix.tmp" and the "*.ans" answer files. The session
// file has no structure beyond its "::" name lines: each window knows how many
// of the following lines are its own, so the reader only splits the file by
// window and checks what every window shares (state and geometry).
#include "shell/session.h"

#include <algorithm>
#include <charconv>

namespace nomix {

namespace {

const std::string_view kCrLf = "\r\n";
// A garbage file could otherwise report a problem on every one of its lines.
constexpr size_t kMaxProblems = 100;

// Notes a problem, up to kMaxProblems of them; one more line says the rest were left out.
void note(ReadReport &report, int line, std::string reason) {
    if (report.problems.size() < kMaxProblems)
        report.problem(line, std::move(reason));
    else if (report.problems.size() == kMaxProblems)
        report.problem(0, "further problems were not listed");
}
const std::string_view kInputPrefix = "Input: ";

// A line as a problem message quotes it: in quotes, long ones cut short.
std::string quotedLine(std::string_view line) {
    constexpr size_t kShown = 40;
    if (line.size() <= kShown) return "\"" + std::string(line) + "\"";
    size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    return "\"" + std::string(line.substr(0, cut)) + "...\"";
}

// A whole number with optional sign and blanks around it, or nothing.
std::optional<long> wholeNumber(std::string_view text) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A window's name line: "::" and a name, but not ":::" (an escaped record line).
bool isNameLine(std::string_view line) {
    return line.size() >= 2 && line.substr(0, 2) == "::" && (line.size() == 2 || line[2] != ':');
}

// Record lines that begin with "::" get one more ":" so they never read as a name line.
std::string escapeRecord(std::string_view line) {
    return line.substr(0, 2) == "::" ? ":" + std::string(line) : std::string(line);
}

// The record line as the window wrote it.
std::string unescapeRecord(std::string_view line) {
    return line.substr(0, 3) == ":::" ? std::string(line.substr(1)) : std::string(line);
}

// A line as the file can hold it: line breaks and NUL bytes become blanks.
std::string oneLine(std::string_view text) {
    std::string line(text);
    for (char &c : line)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return line;
}

// One CR LF line of a written file.
void appendLine(std::string &text, std::string_view line) {
    text += oneLine(line);
    text += kCrLf;
}

// Splits text into lines, cutting overlong ones and noting NUL bytes, which
// become blanks (they cannot stand in a list box or an edit line).
std::vector<std::string> fileLines(std::string_view text, ReadReport &report) {
    std::vector<std::string> lines;
    bool capped = false;
    forEachLine(text, [&](int number, std::string_view line) {
        if (capped) return;
        if (lines.size() >= kMaxSessionLines) {
            note(report, number, "more than " + std::to_string(kMaxSessionLines) + " lines: the rest were not read");
            capped = true;
            return;
        }
        if (line.size() > kMaxSessionLine) {
            note(report, number, "the line is longer than " + std::to_string(kMaxSessionLine) +
                                       " bytes: the rest was cut");
            size_t cut = kMaxSessionLine;
            // Never split a UTF-8 character: the cut line must read back the same.
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
            line = line.substr(0, cut);
        }
        if (line.find('\0') != std::string_view::npos) note(report, number, "a NUL byte was read as a blank");
        lines.push_back(oneLine(line));
    });
    return lines;
}

// The decoded text of a file, at most `cap` bytes of it; state and problems go to the report.
std::string fileText(const std::filesystem::path &file, ReadReport &report, size_t cap) {
    std::string bytes;
    report = readToolFile(file, bytes);
    if (bytes.size() > cap) {
        bytes.resize(cap);
        note(report, 0, "the file is larger than " + std::to_string(cap >> 20) + " MiB: the rest was not read");
    }
    return decodeFileText(bytes);
}

// Reads the state line and, when the window records them, the four geometry
// lines of the window starting at `next`; returns the index after them.
size_t readPlacement(const std::vector<std::string> &lines, size_t next, size_t end, int firstLine,
                     WindowRecord &window, ReadReport &report) {
    auto lineNumber = [&](size_t i) { return firstLine + static_cast<int>(i - next); };
    if (next >= end) {
        note(report, lineNumber(next) - 1, "the window " + window.name + " has no state line");
        return next;
    }
    std::optional<long> state = wholeNumber(lines[next]);
    if (state && *state >= 0 && *state <= 2) {
        window.state = static_cast<WindowState>(*state);
    } else {
        note(report, lineNumber(next), quotedLine(lines[next]) + " is not a window state (0, 1 or 2)");
    }
    size_t i = next + 1;
    if (!recordsGeometry(window.name, window.state)) return i;
    SessionGeometry geometry;
    long *fields[] = {&geometry.height, &geometry.width, &geometry.top, &geometry.left};
    bool complete = true;
    for (long *field : fields) {
        if (i >= end) {
            note(report, lineNumber(i) - 1, "the window " + window.name + " lacks its position and size");
            return i;
        }
        std::optional<long> value = wholeNumber(lines[i]);
        if (!value || *value < -1000000 || *value > 1000000) {
            note(report, lineNumber(i), quotedLine(lines[i]) + " is not a measure in twips");
            complete = false;
        } else {
            *field = *value;
        }
        ++i;
    }
    if (complete && !(geometry == SessionGeometry{})) window.geometry = geometry;
    return i;
}

// The lines of one window, from its name line at `start` to the next name line.
size_t readWindow(const std::vector<std::string> &lines, size_t start, WindowRecord &window,
                  ReadReport &report) {
    size_t end = start + 1;
    while (end < lines.size() && !isNameLine(lines[end])) ++end;
    window.name = std::string(trimBlanks(std::string_view(lines[start]).substr(2)));
    size_t next = readPlacement(lines, start + 1, end, static_cast<int>(start) + 2, window, report);
    for (; next < end; ++next) window.lines.push_back(unescapeRecord(lines[next]));
    return end;
}

} // namespace

// The plot set-up window keeps its own place; minimised and maximised windows have none.
bool recordsGeometry(std::string_view name, WindowState state) {
    return state == WindowState::Normal && name != "frmPlot";
}

// Name, state, geometry when recorded, then the window's own lines.
std::string sessionText(const std::vector<WindowRecord> &windows) {
    std::string text;
    for (const WindowRecord &window : windows) {
        appendLine(text, "::" + window.name);
        appendLine(text, std::to_string(static_cast<int>(window.state)));
        if (recordsGeometry(window.name, window.state)) {
            SessionGeometry g = window.geometry.value_or(SessionGeometry{});
            for (long value : {g.height, g.width, g.top, g.left}) appendLine(text, std::to_string(value));
        }
        for (const std::string &line : window.lines) appendLine(text, escapeRecord(line));
    }
    return text;
}

// The lines of a file's text, read only up to the size cap (noted when cut).
static std::vector<std::string> cappedLines(std::string_view text, const char *what, ReadReport &report) {
    if (text.size() > kMaxSessionBytes) {
        note(report, 0, std::string(what) + " is larger than " + std::to_string(kMaxSessionBytes >> 20) +
                            " MiB: the rest was not read");
        text = text.substr(0, kMaxSessionBytes);
    }
    return fileLines(decodeFileText(text), report);
}

// Splits the lines by window; lines before the first name line are skipped.
SessionRead readSessionText(std::string_view text) {
    SessionRead read;
    read.report.state = ReadReport::State::Loaded;
    std::vector<std::string> lines = cappedLines(text, "the session", read.report);
    size_t i = 0;
    while (i < lines.size() && !isNameLine(lines[i])) ++i;
    if (i > 0) note(read.report, 1, std::to_string(i) + " lines before the first window were skipped");
    while (i < lines.size()) {
        if (read.windows.size() >= kMaxSessionWindows) {
            note(read.report, static_cast<int>(i) + 1, "more than " + std::to_string(kMaxSessionWindows) +
                                                             " windows: the rest were not read");
            break;
        }
        WindowRecord window;
        size_t next = readWindow(lines, i, window, read.report);
        if (window.name.empty() || window.name.front() == ':')
            note(read.report, static_cast<int>(i) + 1, "a window without a name was skipped");
        else
            read.windows.push_back(std::move(window));
        i = next;
    }
    return read;
}

// The file's own problems (unreadable, cut) come before those of its text.
SessionRead loadSession(const std::filesystem::path &file) {
    ReadReport report;
    std::string text = fileText(file, report, kMaxSessionBytes);
    if (report.state != ReadReport::State::Loaded) return {{}, report};
    SessionRead read = readSessionText(text);
    read.report.problems.insert(read.report.problems.begin(), report.problems.begin(), report.problems.end());
    return read;
}

// A session that did not read fully is kept as nomix.tmp.bak.
SaveOutcome saveSession(const std::filesystem::path &file, const std::vector<WindowRecord> &windows) {
    return replaceFile(file, sessionText(windows), [](const std::filesystem::path &existing) {
        return loadSession(existing).report.complete();
    });
}

// Garbage, negative and oversized counts read as 0, so nothing follows them.
long RecordCursor::takeCount(long limit, ReadReport *report) {
    bool missing = atEnd();
    size_t index = next_;
    std::string line = take();
    std::optional<long> count = wholeNumber(line);
    if (count && *count >= 0 && *count <= limit) return *count;
    if (report)
        note(*report, static_cast<int>(index) + 1,
                        missing ? "a count is missing" : quotedLine(line) + " is not a count from 0 to " + std::to_string(limit));
    return 0;
}

// Each list as its count, then its lines.
std::vector<std::string> calculatorRecords(const CalculatorLists &lists) {
    std::vector<std::string> records;
    records.reserve(lists.recall.size() + lists.answers.size() + 2);
    for (const std::vector<std::string> *list : {&lists.recall, &lists.answers}) {
        records.push_back(std::to_string(list->size()));
        records.insert(records.end(), list->begin(), list->end());
    }
    return records;
}

// The two lists, each count trimmed to the lines really left.
CalculatorLists readCalculatorRecords(RecordCursor &cursor, ReadReport *report) {
    CalculatorLists lists;
    for (std::vector<std::string> *list : {&lists.recall, &lists.answers}) {
        size_t at = cursor.position();
        long count = cursor.takeCount(kMaxRecordCount, report);
        if (static_cast<size_t>(count) > cursor.remaining()) {
            if (report)
                note(*report, static_cast<int>(at) + 1, "the count " + std::to_string(count) + " is more than the " +
                                                              std::to_string(cursor.remaining()) + " lines left");
            count = static_cast<long>(cursor.remaining());
        }
        for (long n = 0; n < count; ++n) list->push_back(cursor.take());
    }
    return lists;
}

// Every line for the answer list; the inputs for the recall list.
AnswerSession readAnswerText(std::string_view text) {
    AnswerSession session;
    session.report.state = ReadReport::State::Loaded;
    session.answers = cappedLines(text, "the file", session.report);
    for (const std::string &line : session.answers)
        if (std::string_view(line).substr(0, kInputPrefix.size()) == kInputPrefix)
            session.recall.push_back(line.substr(kInputPrefix.size()));
    // Each input goes to the top of the list, so the last one read is the first.
    std::reverse(session.recall.begin(), session.recall.end());
    return session;
}

// As loadSession: the file's problems first.
AnswerSession loadAnswerFile(const std::filesystem::path &file) {
    ReadReport report;
    std::string text = fileText(file, report, kMaxSessionBytes);
    if (report.state != ReadReport::State::Loaded) return {{}, {}, report};
    AnswerSession session = readAnswerText(text);
    session.report.problems.insert(session.report.problems.begin(), report.problems.begin(), report.problems.end());
    return session;
}

// The answer list, a CR LF line per list line.
std::string answerFileText(const std::vector<std::string> &answers) {
    std::string text;
    for (const std::string &line : answers) appendLine(text, line);
    return text;
}

// The user chose the file to replace, so no backup is kept.
SaveOutcome saveAnswerFile(const std::filesystem::path &file, const std::vector<std::string> &answers) {
    return replaceFile(file, answerFileText(answers), [](const std::filesystem::path &) { return true; });
}

} // namespace nomix
