// Reading and replacing the tool files. Nothing here knows a file format: the
// readers of the conversion table and the module file build on it.
#include "tools/textfile.h"

#include <fstream>
#include <optional>

#include "shell/binding.h"  // isValidUtf8, fromLatin1

namespace nomix {

// One problem a line, in file order.
std::string ReadReport::problemText() const {
    std::string text;
    for (const ReadProblem &p : problems) {
        if (!text.empty()) text += '\n';
        text += p.line > 0 ? "line " + std::to_string(p.line) + ": " + p.reason : p.reason;
    }
    return text;
}

// Only regular files are opened: a FIFO would block and a device never end.
ReadReport readToolFile(const std::filesystem::path &file, std::string &bytes) {
    ReadReport report;
    bytes.clear();
    std::error_code ec;
    auto status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found) return report;
    report.state = ReadReport::State::Unreadable;
    if (status.type() == std::filesystem::file_type::none) {
        report.problem(0, "the file cannot be read: " + ec.message());
        return report;
    }
    if (!std::filesystem::is_regular_file(status)) {
        report.problem(0, file.string() + " is not a file");
        return report;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        report.problem(0, "the file cannot be read");
        return report;
    }
    bytes.resize(kMaxToolFileBytes + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        bytes.clear();
        report.problem(0, "the file cannot be read");
        return report;
    }
    bytes.resize(static_cast<size_t>(in.gcount()));
    report.state = ReadReport::State::Loaded;
    if (bytes.size() > kMaxToolFileBytes) {
        bytes.resize(kMaxToolFileBytes);
        report.problem(0, "the file is larger than " + std::to_string(kMaxToolFileBytes >> 20) +
                              " MiB: the rest was not read");
    }
    return report;
}

std::string decodeFileText(std::string_view bytes) {
    return isValidUtf8(bytes) ? std::string(bytes) : fromLatin1(bytes);
}

void forEachLine(std::string_view text, const std::function<void(int, std::string_view)> &line) {
    int number = 0;
    while (!text.empty()) {
        size_t end = text.find_first_of("\r\n");
        line(++number, text.substr(0, end));
        if (end == std::string_view::npos) return;
        size_t next = end + 1;
        if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
        text.remove_prefix(next);
    }
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A line break would split the record, a NUL byte makes the reader skip the
// line, and other bytes would be read back as Latin-1 text.
std::string unwritableReason(std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos) return "it holds a line break";
    if (value.find('\0') != std::string_view::npos) return "it holds a NUL byte";
    if (!isValidUtf8(value)) return "it is not UTF-8 text";
    return {};
}

} // namespace nomix
