// Reading and writing "nomix.usm". The reader is a small state machine over
// the lines: outside a module, inside a module, inside one of its parameters.
#include "tools/modulefile.h"

#include <array>
#include <optional>

#include "shell/format.h"  // asciiUpper

namespace nomix {

namespace {

// The keywords of each level, in written order, with the field each one fills.
struct ModuleKey {
    const char *keyword;  // upper case, as compared
    const char *written;  // the line's text up to its value
    std::string Module::*field;
};
struct FieldKey {
    const char *keyword;
    const char *written;
    std::string ModuleField::*field;
};

const std::array<ModuleKey, 3> kModuleKeys = {{
    {"NAME", "   Name         =  ", &Module::name},
    {"FORMULA", "   Formula      =  ", &Module::formula},
    {"DESCRIPTION", "   Description  =  ", &Module::description},
}};
const std::array<FieldKey, 4> kFieldKeys = {{
    {"CAPTION", "      Caption       =  ", &ModuleField::caption},
    {"FORMAT", "      Format        =  ", &ModuleField::format},
    {"CONSTRAINTS", "      Constraints   =  ", &ModuleField::constraints},
    {"DETAILS", "      Details       =  ", &ModuleField::details},
}};

// Upper case with every run of blanks and tabs made one blank, so that
// "Begin   module" is a block line too.
std::string blockWords(std::string_view trimmed) {
    std::string out;
    for (char c : asciiUpper(trimmed)) {
        bool blank = c == ' ' || c == '\t';
        if (blank && !out.empty() && out.back() == ' ') continue;
        out += blank ? ' ' : c;
    }
    return out;
}

class ModuleReader {
public:
    ModuleReader(std::vector<Module> &modules, ReadReport &report) : modules_(modules), report_(report) {}

    // One line: block lines first (their words decide), then keyword lines.
    void line(int number, std::string_view text) {
        if (full_) return;
        if (text.find('\0') != std::string_view::npos)
            return report_.problem(number, "the line holds NUL bytes: skipped");
        std::string_view trimmed = trimBlanks(text);
        if (trimmed.empty()) return;
        std::string words = blockWords(trimmed);
        if (words == "BEGIN MODULE") return beginModule(number);
        if (words == "END MODULE") return endModule(number);
        if (words == "END") return endParameter(number);
        if (words.starts_with("BEGIN PARAMETER") &&
            (words.size() == 15 || words[15] == '(' || words[15] == ' '))
            return beginParameter(number, trimmed);
        keywordLine(number, trimmed);
    }

    // The end of the text: blocks still open keep what they had.
    void finish(int lastLine) {
        if (full_ || !module_) return;
        if (field_) report_.problem(lastLine, "the file ends inside a parameter block");
        report_.problem(lastLine, "the file ends inside the module \"" + module_->name + "\"");
        closeModule();
    }

private:
    void beginModule(int number) {
        if (module_) {
            report_.problem(number, "the module \"" + module_->name + "\" has no \"End Module\"");
            closeModule();
        }
        if (modules_.size() >= kMaxModules) {
            full_ = true;
            return report_.problem(number, "more than " + std::to_string(kMaxModules) +
                                               " modules: the rest of the file was not read");
        }
        module_.emplace();
        moduleSeen_ = {};
    }

    void endModule(int number) {
        if (!module_) return outside(number);
        if (field_) report_.problem(number, "the parameter \"" + field_->variable + "\" has no \"End\"");
        closeModule();
    }

    // "Begin Parameter(variable)": the variable lies between the first "(" and
    // the last ")". A module takes at most 17 fields; the blocks of further ones
    // are skipped up to their "End".
    void beginParameter(int number, std::string_view trimmed) {
        if (!module_) return outside(number);
        if (field_) {
            report_.problem(number, "the parameter \"" + field_->variable + "\" has no \"End\"");
            closeField();
        }
        if (module_->fields.size() >= kMaxModuleFields) {
            skippingField_ = true;
            return report_.problem(number, "more than " + std::to_string(kMaxModuleFields) +
                                               " parameters: this one is skipped");
        }
        field_.emplace();
        fieldSeen_ = {};
        size_t open = trimmed.find('(');
        if (open == std::string_view::npos) return report_.problem(number, "the parameter names no variable");
        std::string_view rest = trimmed.substr(open + 1);
        size_t close = rest.rfind(')');
        if (close == std::string_view::npos) report_.problem(number, "the variable has no closing \")\"");
        field_->variable = trimBlanks(rest.substr(0, close));
    }

    void endParameter(int number) {
        if (skippingField_) {
            skippingField_ = false;
            return;
        }
        if (field_) return closeField();
        if (module_) return report_.problem(number, "\"End\" outside a parameter block: ignored");
        outside(number);
    }

    // "KEYWORD = value", the value trimmed; the keyword must belong to the
    // block the line is in.
    void keywordLine(int number, std::string_view trimmed) {
        if (!module_) return outside(number);
        if (skippingField_) return;
        size_t equals = trimmed.find('=');
        if (equals == std::string_view::npos) return report_.problem(number, "not a keyword line: skipped");
        std::string keyword = asciiUpper(trimBlanks(trimmed.substr(0, equals)));
        std::string value(trimBlanks(trimmed.substr(equals + 1)));
        if (field_) {
            for (size_t k = 0; k < kFieldKeys.size(); ++k)
                if (keyword == kFieldKeys[k].keyword)
                    return store(number, keyword, (*field_).*kFieldKeys[k].field, fieldSeen_[k], std::move(value));
        } else {
            for (size_t k = 0; k < kModuleKeys.size(); ++k)
                if (keyword == kModuleKeys[k].keyword)
                    return store(number, keyword, (*module_).*kModuleKeys[k].field, moduleSeen_[k], std::move(value));
        }
        report_.problem(number, "unknown keyword \"" + keyword + "\"" + (field_ ? " in a parameter" : "") +
                                    ": skipped");
    }

    // A keyword given twice keeps its last value; the first is reported lost.
    void store(int number, const std::string &keyword, std::string &field, bool &seen, std::string value) {
        if (seen) report_.problem(number, keyword + " given again: the last value is kept");
        seen = true;
        field = std::move(value);
    }

    void outside(int number) { report_.problem(number, "outside a module block: skipped"); }

    void closeField() {
        module_->fields.push_back(std::move(*field_));
        field_.reset();
    }

    void closeModule() {
        if (field_) closeField();
        skippingField_ = false;
        modules_.push_back(std::move(*module_));
        module_.reset();
    }

    std::vector<Module> &modules_;
    ReadReport &report_;
    std::optional<Module> module_;
    std::optional<ModuleField> field_;
    std::array<bool, kModuleKeys.size()> moduleSeen_{};
    std::array<bool, kFieldKeys.size()> fieldSeen_{};
    bool skippingField_ = false;
    bool full_ = false;
};

// Why one value would not read back the same, or "".
void valueProblem(std::vector<std::string> &problems, size_t module, const std::string &what,
                  const std::string &value) {
    std::string reason = unwritableReason(value);
    if (!reason.empty())
        problems.push_back("module " + std::to_string(module + 1) + ", " + what + ": " + reason);
}

// One module as its block of lines.
std::string moduleBlock(const Module &m) {
    std::string text = "Begin Module\r\n";
    for (const ModuleKey &k : kModuleKeys) text += k.written + std::string(trimBlanks(m.*k.field)) + "\r\n";
    for (const ModuleField &f : m.fields) {
        text += "   Begin Parameter(" + std::string(trimBlanks(f.variable)) + ")\r\n";
        for (const FieldKey &k : kFieldKeys) text += k.written + std::string(trimBlanks(f.*k.field)) + "\r\n";
        text += "   End\r\n";
    }
    return text + "End Module\r\n";
}

} // namespace

ReadReport readModules(std::string_view text, std::vector<Module> &modules) {
    ReadReport report;
    report.state = ReadReport::State::Loaded;
    std::string decoded = decodeFileText(text);
    ModuleReader reader(modules, report);
    int last = 0;
    forEachLine(decoded, [&](int number, std::string_view line) {
        last = number;
        reader.line(number, line);
    });
    reader.finish(last);
    return report;
}

ReadReport loadModules(const std::filesystem::path &file, std::vector<Module> &modules) {
    std::string bytes;
    ReadReport report = readToolFile(file, bytes);
    if (report.state == ReadReport::State::Unreadable) report.message = report.problemText();
    if (report.state != ReadReport::State::Loaded) return report;
    ReadReport lines = readModules(bytes, modules);
    report.problems.insert(report.problems.end(), lines.problems.begin(), lines.problems.end());
    return report;
}

std::string importedMessage(size_t count) { return std::to_string(count) + " module(s) imported"; }

std::string modulesText(const std::vector<Module> &modules) {
    std::string text;
    for (const Module &m : modules) text += (text.empty() ? "" : "\r\n") + moduleBlock(m);
    return text;
}

std::vector<std::string> moduleWriteProblems(const std::vector<Module> &modules) {
    std::vector<std::string> problems;
    for (size_t i = 0; i < modules.size(); ++i) {
        const Module &m = modules[i];
        for (const ModuleKey &k : kModuleKeys) valueProblem(problems, i, k.keyword, m.*k.field);
        if (m.fields.size() > kMaxModuleFields)
            problems.push_back("module " + std::to_string(i + 1) + ": more than " +
                               std::to_string(kMaxModuleFields) + " parameters");
        for (const ModuleField &f : m.fields) {
            valueProblem(problems, i, "variable", f.variable);
            for (const FieldKey &k : kFieldKeys) valueProblem(problems, i, k.keyword, f.*k.field);
        }
    }
    return problems;
}

SaveOutcome saveModules(const std::filesystem::path &file, const std::vector<Module> &modules) {
    std::vector<std::string> problems = moduleWriteProblems(modules);
    if (!problems.empty()) {
        SaveOutcome refused;
        refused.error = "the modules cannot be written: " + problems.front();
        return refused;
    }
    return replaceFile(file, modulesText(modules), [](const std::filesystem::path &existing) {
        std::vector<Module> scratch;
        std::string bytes;
        ReadReport report = readToolFile(existing, bytes);
        if (report.state != ReadReport::State::Loaded || !report.problems.empty()) return false;
        return readModules(bytes, scratch).complete();
    });
}

} // namespace nomix
