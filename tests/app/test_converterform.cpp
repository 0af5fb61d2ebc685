// The converter's form with the real engine: conversions through chains of
// pairs, the source row, the messages for missing and unknown units, the
// ".con" lines, the shipped table's known values, and the table editor's rules.
#include <gtest/gtest.h>

#include "box_host.h"

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "tools/conversioneditor.h"
#include "tools/converterform.h"

using namespace nomix;

namespace {

using nomix::testing::BoxHost;

ConversionTable smallTable() {
    ConversionTable t;
    readConversions("[Length]\nm: ft: x/0.3048: x*0.3048\nm: in: x/0.0254: x*0.0254\n"
                    "[Islands]\na: b: x*2: x/2\nc: d: x*3: x/3\n"
                    "[Broken]\np: q: x+: x\n",
                    t);
    return t;
}

class Converter : public ::testing::Test {
protected:
    void SetUp() override { DefineApplicationLanguage(binding()); }
    // Converts `number` in row 0's unit into the other rows' units.
    ConvertOutcome convert(ConverterForm &form, const std::vector<std::string> &units, const std::string &number,
                           size_t source = 0) {
        for (size_t r = 0; r < units.size(); ++r) {
            if (r >= form.rows().size()) form.addRow();
            form.setUnit(r, units[r]);
        }
        form.typeNumber(source, number);
        return form.convert(binding(), "");
    }
    BoxHost host_;
    Application app_{host_};
};

struct ConvertCase {
    const char *category;
    std::vector<std::string> units;
    std::string number;
    ConvertOutcome::State state;
    std::vector<std::string> numbers;  // every row after the conversion
    std::string message;
};

TEST_F(Converter, Conversions) {
    const std::vector<ConvertCase> cases = {
        {"Length", {"ft", "in"}, "1", ConvertOutcome::State::Converted, {"1", "12"}, ""},
        {"Length", {"in", "ft", "m"}, "2*6", ConvertOutcome::State::Converted, {"2*6", "1", "0.3048"}, ""},
        {"Length", {"in", "in"}, "5", ConvertOutcome::State::Converted, {"5", "5"}, ""},
        {"Length", {"m", ""}, "1", ConvertOutcome::State::BadUnit, {"1", ""}, "unit is missing"},
        {"Length", {"m", "yard"}, "1", ConvertOutcome::State::BadUnit, {"1", ""}, "yard is not defined"},
        {"Length", {"m", "ft"}, "", ConvertOutcome::State::MissingValue, {"", ""}, "Missing unit or value"},
        {"Islands", {"a", "d"}, "1", ConvertOutcome::State::Unreachable, {"1", ""}, "d cannot be reached from a"},
        {"Islands", {"b", "a"}, "4", ConvertOutcome::State::Converted, {"4", "2"}, ""},
        {"Broken", {"p", "q"}, "1", ConvertOutcome::State::FormulaFailed, {"1", ""}, ""},
    };
    for (const ConvertCase &c : cases) {
        ConverterForm form;
        form.setTable(smallTable(), c.category);
        ConvertOutcome out = convert(form, c.units, c.number);
        const std::string what = std::string(c.category) + " " + c.units[0] + " -> " + c.units[1];
        EXPECT_EQ(out.state, c.state) << what;
        EXPECT_EQ(out.message, c.message) << what;
        std::vector<std::string> numbers;
        for (const ConverterRow &row : form.rows()) numbers.push_back(row.number);
        EXPECT_EQ(numbers, c.numbers) << what;
    }
}

TEST_F(Converter, ShippedTableKnownValues) {
    ConversionTable table;
    ASSERT_TRUE(LoadConversions(NOMIX_SOURCE_DIR "/data/nomix.cnv", table).complete());
    for (const char *c : {"Length", "Area", "Volume", "Mass", "Time", "Speed", "Temperature", "Pressure",
                          "Energy", "Power", "Data"})
        EXPECT_GE(table.findCategory(c), 0) << c;
    struct Known {
        const char *category, *from, *to, *number, *expected;
    };
    const std::vector<Known> known = {
        {"Length", "mile", "kilometer", "1", "1.609344"},
        {"Length", "foot", "inch", "1", "12"},
        {"Temperature", "Fahrenheit", "Kelvin", "32", "273.15"},
        {"Temperature", "Celsius", "Fahrenheit", "100", "212"},
        {"Energy", "kilocalorie", "joule", "1", "4184"},
    };
    for (const Known &k : known) {
        ConverterForm form;
        form.setTable(table, k.category);
        ConvertOutcome out = convert(form, {k.from, k.to}, k.number);
        EXPECT_EQ(out.state, ConvertOutcome::State::Converted) << k.from << " " << out.message;
        EXPECT_EQ(form.rows()[1].number, k.expected) << k.from << " -> " << k.to;
    }
}

TEST_F(Converter, TypingMakesTheSourceAndEmptiesTheOthers) {
    ConverterForm form;
    form.setTable(smallTable(), "Length");
    form.addRow();
    for (size_t r = 0; r < 3; ++r) form.setNumber(r, "7");
    form.typeNumber(1, "3");
    EXPECT_EQ(form.activeRow(), 1u);
    EXPECT_EQ(form.rows(), (std::vector<ConverterRow>{{"", ""}, {"3", ""}, {"", ""}}));
    EXPECT_TRUE(form.removeRow());
    EXPECT_EQ(form.activeRow(), 0u);
    EXPECT_FALSE(form.removeRow());  // two rows stay
}

TEST_F(Converter, SessionLinesGiveTheFormBack) {
    ConverterForm form;
    form.setTable(smallTable(), "Length");
    convert(form, {"ft", "in", "m"}, "1", 1);
    const std::vector<std::string> lines = form.sessionLines();
    EXPECT_EQ(lines, (std::vector<std::string>{"Length", "0.083333333333333", "ft", "1", "in", "0.0254", "m"}));
    ConverterForm back;
    back.setTable(smallTable(), "Islands");
    back.restoreLines(lines);
    EXPECT_EQ(back.category(), "Length");
    EXPECT_EQ(back.rows(), form.rows());
    EXPECT_EQ(back.activeRow(), 0u);  // any filled row serves as the source
    back.restoreLines({"no such category", "1"});  // garbage keeps two rows
    EXPECT_EQ(back.rows().size(), kMinConverterRows);
    ReadReport report;
    EXPECT_EQ(readConverterText(std::string(500, '\n'), report).size(), 1 + 2 * kMaxConverterRows);
}

TEST(ConversionEditorRules, StoreKeepsCategoriesTogether) {
    ConversionEditor editor(smallTable());
    const int length = editor.addCategory("  Length ");
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(editor.store(length, {"m", "yd", "x/0.9144", "x*0.9144", -1}).ok);
    EXPECT_EQ(editor.table().entries[2].unitB, "yd");  // after Length's pairs, before Islands
    EXPECT_EQ(editor.store(length, {"m", "ft", "x*3.28", "x/3.28", -1}).index, 0u);  // same pair replaces
    EXPECT_EQ(editor.table().entries[0].formulaAB, "x*3.28");
    const int fresh = editor.addCategory("Speed");
    const size_t stored = editor.store(fresh, {"m/s", "km/h", "x*3.6", "x/3.6", -1}).index;
    EXPECT_EQ(stored, editor.table().entries.size() - 1);
    const std::vector<std::pair<ConversionEntry, const char *>> refused = {
        {{"", "b", "x", "x", -1}, "both units need a name"},
        {{"a", "b", "", "x", -1}, "both formulas are needed"},
        {{"a:b", "c", "x", "x", -1}, "units and the A ==> B formula cannot hold \":\""},
        {{"[a", "c", "x", "x", -1}, "unit A cannot start with \"[\""},
        {{"a", "a", "x", "x", -1}, "the two units must differ"},
    };
    for (const auto &[entry, problem] : refused) EXPECT_EQ(editor.store(length, entry).problem, problem);
    std::string problem;
    EXPECT_EQ(editor.addCategory("{Enter new category name here}", &problem), -1);
    EXPECT_EQ(editor.addCategory("   ", &problem), -1);
    EXPECT_TRUE(editor.remove(0));
    EXPECT_FALSE(editor.remove(1000));
    ConversionEditor merged(smallTable());
    EXPECT_EQ(merged.import(smallTable()), 5u);
    EXPECT_EQ(merged.table(), smallTable());  // the same pairs replace themselves
}

} // namespace
