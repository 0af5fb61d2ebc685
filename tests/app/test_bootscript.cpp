// The boot-script reader and sender on small texts, with a recording stand-in
// for the engine's command entry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <string>
#include <vector>

#include "nxeng296.h"
#include "shell/bootscript.h"

using namespace nomix;
using Kind = BootArgument::Kind;

namespace {

BootCommand only(std::string_view source) {
    BootScript s = parseBootScript(source);
    EXPECT_TRUE(s.problems.empty()) << source << ": " << (s.problems.empty() ? "" : s.problems[0].message);
    EXPECT_EQ(s.commands.size(), 1u) << source;
    return s.commands.empty() ? BootCommand{} : s.commands[0];
}

struct ArgCase {
    const char *line;
    BootCommandKind kind;
    std::vector<BootArgument> args;
    std::string text;
};

TEST(BootScriptReader, ArgumentsAndTexts) {
    const std::vector<ArgCase> cases = {
        {"define | DataType: String ~~ ConvertsTo: WideString", BootCommandKind::Define, {},
         "DataType: String ~~ ConvertsTo: WideString"},
        {"define routine:4 | DataType: Extended ~~ Size: 10 ~~ TypeHandler: #", BootCommandKind::Define,
         {{Kind::Routine, 4, KeptType::Extended}}, "DataType: Extended ~~ Size: 10 ~~ TypeHandler: #"},
        {"define 40 type:String | Pattern:\\x03 ~~ \\x03 ~~ DataType: #2", BootCommandKind::Define,
         {{Kind::Number, 40, {}}, {Kind::Type, 0, KeptType::String}}, "Pattern:\\x03 ~~ \\x03 ~~ DataType: #2"},
        {"define 3  type:Stack\troutine:129 | P", BootCommandKind::Define,
         {{Kind::Number, 3, {}}, {Kind::Type, 0, KeptType::Stack}, {Kind::Routine, 129, {}}}, "P"},
        {"define -7 type:complex | x", BootCommandKind::Define,
         {{Kind::Number, -7, {}}, {Kind::Type, 0, KeptType::Complex}}, "x"},
        {"define |", BootCommandKind::Define, {}, ""},
        {"syntax | =- ::= = -", BootCommandKind::Syntax, {{Kind::Number, 1, {}}}, "=- ::= = -"},
        {"syntax 2 | a ::= b", BootCommandKind::Syntax, {{Kind::Number, 2, {}}}, "a ::= b"},
        {"message 0 No error", BootCommandKind::Message, {{Kind::Number, 0, {}}}, "No error"},
        {"message 12  two blanks", BootCommandKind::Message, {{Kind::Number, 12, {}}}, " two blanks"},
        {"init", BootCommandKind::Initialize, {}, ""},
    };
    for (const ArgCase &c : cases) {
        BootCommand cmd = only(c.line);
        EXPECT_EQ(cmd.kind, c.kind) << c.line;
        EXPECT_EQ(cmd.text, c.text) << c.line;
        ASSERT_EQ(cmd.args.size(), c.args.size()) << c.line;
        for (size_t i = 0; i < c.args.size(); ++i) {
            EXPECT_EQ(cmd.args[i].kind, c.args[i].kind) << c.line << " arg " << i;
            if (c.args[i].kind == Kind::Type) {
                EXPECT_EQ(cmd.args[i].type, c.args[i].type) << c.line << " arg " << i;
            } else {
                EXPECT_EQ(cmd.args[i].number, c.args[i].number) << c.line << " arg " << i;
            }
        }
    }
}

TEST(BootScriptReader, TextsAreKeptCharacterForCharacter) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"define routine:9 routine:29 | DataType: Long     ~~ Size: 4  ~~ TypeHandler: #",
         "DataType: Long     ~~ Size: 4  ~~ TypeHandler: #"},
        {"syntax | Const: {Def:'.*'} ::= Var: {Def} ~~ Properties:  16384",
         "Const: {Def:'.*'} ::= Var: {Def} ~~ Properties:  16384"},
        {"define 64 | Pattern:[\\|+/*^$&#\\-=%@!`\\\\<>?]+", "Pattern:[\\|+/*^$&#\\-=%@!`\\\\<>?]+"},
        {"syntax | Op: {Def} { At {addr} | ':=' {Expr:'.+'} } ::= x", "Op: {Def} { At {addr} | ':=' {Expr:'.+'} } ::= x"},
        {"define | a{{3}}b\\c3", "a{{3}}b\\c3"},   // no escapes on plain lines
        {"define | trailing  ", "trailing  "},
        {"define | with cr\r", "with cr"},
        {"define |  leading", " leading"},
    };
    for (const auto &[line, text] : cases) EXPECT_EQ(only(line).text, text) << line;
}

TEST(BootScriptReader, ControlCharacterEscapes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"definex | a{{3}}b", "a\x03" "b"},
        {"syntaxx | NomixStr(nx_Expand,{{3}}{Expr}{{3}})", "NomixStr(nx_Expand,\x03{Expr}\x03)"},
        {"definex | {{{3}}", "{\x03"},
        {"definex | {{x}} {{}} {3}}", "{{x}} {{}} {3}}"},
        {"definex | {{123}}{3}}", "{{3}}"},
        {"definex | {{003}}{{255}}", "\x03\xff"},
        {"messagex 5 x{{0}}y", std::string("x\0y", 3)},
    };
    for (const auto &[line, text] : cases) EXPECT_EQ(only(line).text, text) << line;
    EXPECT_EQ(only("syntaxx | r").kind, BootCommandKind::Syntax);
}

TEST(BootScriptReader, CommentsBlankLinesAndNumbers) {
    BootScript s = parseBootScript("# heading\n\n   \n#[26]\n# more words\n"
                                   "define 1 | a\r\n  define | b\n#[27] note\ndefine | c\n#[x]\ndefine | d");
    ASSERT_TRUE(s.problems.empty());
    ASSERT_EQ(s.commands.size(), 4u);
    const std::vector<std::pair<int, int>> lineAndNumber = {{6, 26}, {7, 0}, {9, 27}, {11, 0}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(s.commands[i].line, lineAndNumber[i].first) << i;
        EXPECT_EQ(s.commands[i].number, lineAndNumber[i].second) << i;
    }
    EXPECT_EQ(s.commands[1].text, "b");
}

TEST(BootScriptReader, MalformedLinesAreReportedAndSkipped) {
    const std::vector<std::string> bad = {
        "frobnicate | x",
        "define 1 2 3 4 | x",
        "define x | y",
        "define 1.5 | y",
        "define routine:-1 | y",
        "define routine: | y",
        "define type:Quaternion | y",
        "define 12",
        "define |no blank",
        "syntax 1 2 | y",
        "message x text",
        "message",
        "init now",
        "definex | {{256}}",
        "definex | {{99999999999999999999}}",
        "Define | case matters",
    };
    std::string source;
    for (const std::string &line : bad) source += line + "\ndefine | ok\n";
    BootScript s = parseBootScript(source);
    ASSERT_EQ(s.problems.size(), bad.size());
    ASSERT_EQ(s.commands.size(), bad.size());
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(s.problems[i].line, static_cast<int>(2 * i + 1)) << bad[i];
        EXPECT_FALSE(s.problems[i].message.empty()) << bad[i];
        EXPECT_EQ(s.commands[i].line, static_cast<int>(2 * i + 2));
    }
}

TEST(BootScriptReader, MissingFileIsAProblemNotACrash) {
    BootScript s = readBootScriptFile("/nonexistent/nomix/phase1.nxl");
    EXPECT_TRUE(s.commands.empty());
    ASSERT_EQ(s.problems.size(), 1u);
    EXPECT_EQ(s.problems[0].line, 0);
}

TEST(BootScriptReader, TypeNames) {
    const std::vector<std::pair<std::string, std::string>> defined = {
        {"DataType: Long     ~~ Size: 4", "Long"},
        {"  datatype:Complex~~ {Var: Real}", "Complex"},
        {"DataType: LPCSTR               ~~ TypeHandler: #", "LPCSTR"},
        {"Pattern:\\x03 ~~ DataType: #2", ""},
        {"DefaultType: Double", ""},
    };
    for (const auto &[text, name] : defined) EXPECT_EQ(definedTypeName(text), name) << text;
    for (size_t i = 0; i < kKeptTypeCount; ++i) {
        auto type = static_cast<KeptType>(i);
        EXPECT_EQ(keptTypeByName(keptTypeName(type)), type);
    }
    EXPECT_EQ(keptTypeByName("wIDEsTRING"), KeptType::WideString);
    EXPECT_FALSE(keptTypeByName("Quad"));
}

// ---- sender ----

struct Call {
    intptr_t command;
    std::string text;
    bool hasText;
    intptr_t a1, a2, a3, t;
};

// A stand-in engine: definitions return increasing handles, except texts that
// contain "FAIL", which set error 9 and return 0; routine N lives at 5000 + N.
struct FakeEngine {
    std::vector<Call> calls;
    intptr_t nextHandle = 100;
    int32_t error = 0;
};
FakeEngine fake;

intptr_t fakeEntry(intptr_t command, const char *text, intptr_t a1, intptr_t a2, intptr_t a3, intptr_t t) {
    std::string s = text ? std::string(text, nxStrLen(text)) : std::string();
    fake.calls.push_back({command, s, text != nullptr, a1, a2, a3, t});
    switch (command) {
    case nx_RoutineAddress: return 5000 + a1;
    case nx_GetError: return fake.error;
    case nx_ClearError: fake.error = 0; return 0;
    case nx_Initialize: return 42;
    case nx_Define:
    case nx_DefineSyntax:
        fake.error = 0;
        if (s.find("FAIL") != std::string::npos) {
            fake.error = 9;
            return 0;
        }
        return fake.nextHandle++;
    default: return 0;
    }
}

std::vector<Call> callsOf(intptr_t command) {
    std::vector<Call> out;
    for (const Call &c : fake.calls)
        if (c.command == command) out.push_back(c);
    return out;
}

class BootSenderTest : public ::testing::Test {
protected:
    void SetUp() override { fake = FakeEngine{}; }
};

TEST_F(BootSenderTest, ResolvesRoutinesAndKeptTypesAtSendTime) {
    BootScript s = parseBootScript(
        "define 40 type:String | too early\n"
        "define routine:14 | DataType: String   ~~ Size: 4\n"                  // handle 100
        "define 40 type:String routine:129 | Pattern:\\x03 ~~ \\x03 ~~ DataType: #2\n"
        "define | DataType: String ~~ ConvertsTo: WideString\n"                // handle 102
        "define | DataType: String ~~ FAIL\n"                                  // 0: keep 102
        "define 1 type:String | after\n");
    ASSERT_TRUE(s.problems.empty());
    BootSender sender(fakeEntry);
    auto results = sender.sendAll(s.commands);
    ASSERT_EQ(results.size(), 6u);
    EXPECT_EQ(results[0].status, SendStatus::Unresolved);
    EXPECT_EQ(results[4].error, 9);
    EXPECT_EQ(results[4].result, 0);
    EXPECT_EQ(sender.keptType(KeptType::String), 102);
    EXPECT_EQ(sender.keptType(KeptType::Double), 0);

    auto defines = callsOf(nx_Define);
    ASSERT_EQ(defines.size(), 5u);  // the unresolved line never reached the engine
    EXPECT_EQ(defines[0].a1, 5014);
    EXPECT_EQ(defines[1].text, "Pattern:\\x03 ~~ \\x03 ~~ DataType: #2");
    EXPECT_EQ((std::vector<intptr_t>{defines[1].a1, defines[1].a2, defines[1].a3}),
              (std::vector<intptr_t>{40, 100, 5129}));
    EXPECT_EQ(defines[4].a2, 102);
}

TEST_F(BootSenderTest, CommandsAndErrorCodesPerLine) {
    BootScript s = parseBootScript("init\nmessage 7 Data type mismatch\nsyntax | Max({x}) ::= {x}\n"
                                   "definex | FAIL{{3}}\nsyntax 3 | r\n");
    BootSender sender(fakeEntry, 77);
    auto results = sender.sendAll(s.commands);
    ASSERT_EQ(results.size(), 5u);
    const std::vector<int32_t> errors = {0, 0, 0, 9, 0};  // the failure is charged to its own line only
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].status, SendStatus::Sent);
        EXPECT_EQ(results[i].error, errors[i]) << "line " << results[i].line;
        EXPECT_EQ(results[i].line, static_cast<int>(i + 1));
    }
    EXPECT_EQ(results[0].result, 42);

    auto init = callsOf(nx_Initialize);
    ASSERT_EQ(init.size(), 1u);
    EXPECT_EQ((std::vector<intptr_t>{init[0].a1, init[0].a2, init[0].a3, init[0].t}),
              (std::vector<intptr_t>(4, 0)));
    EXPECT_FALSE(init[0].hasText);
    auto message = callsOf(nx_SetErrorMessage);
    ASSERT_EQ(message.size(), 1u);
    EXPECT_EQ(message[0].text, "Data type mismatch");
    EXPECT_EQ(message[0].a1, 7);
    EXPECT_EQ(message[0].t, 77);
    auto rules = callsOf(nx_DefineSyntax);
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].a1, 1);
    EXPECT_EQ(rules[1].a1, 3);
    EXPECT_EQ(callsOf(nx_Define).at(0).text, std::string("FAIL\x03"));
}

TEST_F(BootSenderTest, WithoutAnEntryNothingIsSent) {
    BootSender sender(nullptr);
    BootScript s = parseBootScript("init\ndefine | x\n");
    for (const SendResult &r : sender.sendAll(s.commands)) EXPECT_EQ(r.status, SendStatus::NoEngine);
    EXPECT_EQ(sender.call(nx_Define, "x"), 0);
    EXPECT_EQ(sender.errorCode(), 0);
}

// ---- data file location ----

class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char *old = std::getenv("NOMIX_DATA_DIR")) saved_ = old;
        dir_ = std::filesystem::temp_directory_path() / ("nomix-data-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_ / "language");
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        if (saved_) setenv("NOMIX_DATA_DIR", saved_->c_str(), 1);
        else unsetenv("NOMIX_DATA_DIR");
    }
    std::filesystem::path dir_;
    std::optional<std::string> saved_;
};

TEST_F(DataDirTest, EnvironmentComesFirstThenTheSourceTree) {
    setenv("NOMIX_DATA_DIR", dir_.c_str(), 1);
    auto fromSource = std::filesystem::path(NOMIX_SOURCE_DIR) / "data" / "language" / "phase1.nxl";
    EXPECT_EQ(findLanguageFile(), fromSource);  // the override lacks the file: fall through

    std::ofstream(dir_ / "language" / "phase1.nxl") << "init\n";
    EXPECT_EQ(findLanguageFile(), dir_ / "language" / "phase1.nxl");
    EXPECT_FALSE(findDataFile("language/no-such-file.nxl"));

    // A build tree has no share/nomix beside its bin/: the source tree comes
    // next (tests/install checks that an installed copy comes before it).
    auto dirs = dataDirectories();
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(dirs[0], dir_);
    EXPECT_EQ(dirs.back(), std::filesystem::path(NOMIX_SOURCE_DIR) / "data");
}

} // namespace
