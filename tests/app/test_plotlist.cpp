// The equation list of the plot set-up window and the graph options: colours,
// templates, the 16-row limit, the precision check, and ".gra" files.
#include <gtest/gtest.h>

#include "tools/plotlist.h"

using namespace nomix;

namespace {

TEST(EquationColor, RowsTakeThePaletteBackwardsWithPurpleForLightColours) {
    const std::pair<int, BgrColor> cases[] = {
        {1, 0xC000C0}, {2, 0xFF00FF}, {3, 0x0000FF}, {4, 0xC000C0}, {5, 0xC000C0}, {6, 0xFF0000},
        {7, 0x808080}, {8, 0xC000C0}, {9, 0x008080}, {10, 0x800080}, {11, 0x000080}, {12, 0x808000},
        {13, 0x008000}, {14, 0x800000}, {15, 0x000000},
    };
    for (auto [row, color] : cases) EXPECT_EQ(equationColor(row), color) << row;
}

TEST(TypeTemplate, EachTypeFillsItsRow) {
    Settings s;
    s.theta = "u";
    s.independentVariable = "w";
    struct Case {
        GraphType type;
        const char *equation, *variable, *from, *to;
        int caret;
    };
    const Case cases[] = {
        {GraphType::Cartesian, "y=", "w", "", "", 2},
        {GraphType::Polar, "r=", "u", "0", "2*pi", 2},
        {GraphType::Parametric, "x=   , y=", "u", "0", "2*pi", 2},
        {GraphType::Surface, "f(x,z)=", "w", "", "", 7},
        {GraphType::DataFile, "File=", "", "", "", 5},
    };
    for (const Case &c : cases) {
        const RowTemplate t = typeTemplate(c.type, s);
        EXPECT_EQ(t.equation, c.equation);
        EXPECT_EQ(t.variable, c.variable);
        EXPECT_EQ(t.from, c.from);
        EXPECT_EQ(t.to, c.to);
        EXPECT_EQ(t.caret, c.caret);
    }
    EXPECT_EQ(typeTemplate(GraphType::DataFile, s, "/tmp/a.dat").equation, "File=/tmp/a.dat");
    EXPECT_EQ(graphTypeNamed(" 3d surface "), GraphType::Surface);
    EXPECT_EQ(graphTypeNamed("Pie"), std::nullopt);
}

TEST(EquationList, SixteenRowsAtMostAndClearKeepsRowZero) {
    Settings s;
    s.defaultGraph = "Polar";
    EquationList list;
    for (int i = 1; i <= 15; ++i) EXPECT_TRUE(list.add({}));
    EXPECT_FALSE(list.add({}));
    EXPECT_EQ(list.lastIndex(), 15);
    list.row(0).show = false;
    list.row(0).equation = "y=x";
    list.clear(s);
    EXPECT_EQ(list.lastIndex(), 0);
    EXPECT_TRUE(list.rows()[0].show);
    EXPECT_EQ(list.rows()[0].equation, "r=");
    EXPECT_EQ(list.rows()[0].type, "Polar");
}

TEST(GraphOptions, OkChecksThePrecision) {
    const std::tuple<const char *, const char *, double> cases[] = {
        {"10", "10", 0.1}, {"0", "1", 1}, {"-4", "1", 1}, {"abc", "1", 1}, {"20abc", "20abc", 0.05},
    };
    for (auto [typed, kept, step] : cases) {
        Settings s;
        GraphOptionsFields f = GraphOptionsFields::from(s);
        EXPECT_EQ(f.precision, "10");
        f.precision = typed;
        f.title = "T";
        f.grid = true;
        f.applyTo(s);
        EXPECT_EQ(f.precision, kept) << typed;
        EXPECT_DOUBLE_EQ(s.graphStep, step) << typed;
        EXPECT_EQ(s.title, "T");
        EXPECT_TRUE(s.grid);
    }
}

TEST(GraFile, ListAndOptionsReadBackAsSaved) {
    Settings s;
    EquationList list;
    list.row(0).equation = "y=sin(x)";
    EquationRow polar;
    applyType(polar, GraphType::Polar, s);
    polar.equation = "r=1+cos(t)";
    polar.show = false;
    list.add(polar);
    GraphOptionsFields options = GraphOptionsFields::from(s);
    options.title = "Curves";
    options.connect = false;
    const std::string text = graFileText(list, options);
    EXPECT_EQ(text.substr(0, 3), "1\r\n");

    EquationList back;
    GraphOptionsFields backOptions;
    readGraFile(text, back, backOptions);
    EXPECT_EQ(back.rows(), list.rows());
    EXPECT_EQ(backOptions, options);

    // A truncated or damaged file restores what is there and never more than 16 rows.
    EquationList partial;
    GraphOptionsFields kept = options;
    readGraFile("1\r\n1\r\nCartesian\r\ny=2\r\n", partial, kept);
    ASSERT_EQ(partial.lastIndex(), 1);
    EXPECT_EQ(partial.rows()[0].equation, "y=2");
    EXPECT_EQ(kept, options);
    readGraFile("99999\r\n", partial, kept);
    EXPECT_EQ(partial.lastIndex(), 0);
}

} // namespace
