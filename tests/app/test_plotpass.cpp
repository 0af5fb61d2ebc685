// The drawing pass of the graph window through the recording canvas: axes and
// ticks, the curve kinds, the point decision, files, the error exit, and the
// view arithmetic of panning and zooming.
#include <gtest/gtest.h>

#include "box_host.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "tools/plotpass.h"
#include "tools/plotview.h"
#include "working_dir.h"

using namespace nomix;

namespace {

using nomix::testing::BoxHost;

constexpr BgrColor kRowColor = 0x123456;

// One primitive read back from the recording.
struct Prim {
    std::string op;
    std::vector<double> n;
    std::string text;
};

Prim parsePrim(const std::string &record) {
    std::istringstream in(record);
    Prim p;
    in >> p.op;
    if (p.op == "text") {
        double x, y;
        in >> x >> y;
        p.n = {x, y};
        std::getline(in, p.text);
        if (!p.text.empty()) p.text.erase(0, 1);
        return p;
    }
    double v;
    while (in >> v) p.n.push_back(v);
    return p;
}

class PlotPassTest : public ::testing::Test {
protected:
    void SetUp() override { DefineApplicationLanguage(binding()); }

    PlotOutcome plot(std::vector<PlotRow> rows, PlotView view = {}) {
        PlotRequest request;
        request.view = view;
        request.rows = std::move(rows);
        request.saveCoordinates = save;
        canvas = RecordingCanvas();
        return runPlotPass(canvas, request, settings);
    }
    static PlotRow row(std::string equation, std::string from = "", std::string to = "",
                       std::string variable = "x") {
        PlotRow r;
        r.equation = std::move(equation);
        r.variable = std::move(variable);
        r.from = std::move(from);
        r.to = std::move(to);
        r.color = kRowColor;
        return r;
    }
    // The points and lines of the row drawn in kRowColor.
    std::vector<Prim> curve() const {
        std::vector<Prim> out;
        bool in = false;
        for (const std::string &r : canvas.records()) {
            if (r.rfind("color", 0) == 0 || r == "default color") in = r == "color 123456";
            else if (in && (r.rfind("point", 0) == 0 || r.rfind("lineto", 0) == 0)) out.push_back(parsePrim(r));
        }
        return out;
    }
    std::vector<Prim> all(const char *op) const {
        std::vector<Prim> out;
        for (const std::string &r : canvas.recordsOf(op)) out.push_back(parsePrim(r));
        return out;
    }
    static int count(const std::vector<Prim> &prims, const char *op) {
        int n = 0;
        for (const Prim &p : prims) n += p.op == op;
        return n;
    }

    BoxHost host_;
    Application app_{host_};
    Settings settings;
    RecordingCanvas canvas;
    bool save = false;
};

// ---------------------------------------------------------------------------
// Axes.

// The labels at the view's edges start inside it: none is cut at the left,
// top or right edge, and the neighbour of a moved end label gives way.
TEST_F(PlotPassTest, EndLabelsStayInsideTheView) {
    const PlotView view{-10, 10, -7.5f, 7.5f};
    plot({}, view);
    double minus10 = 1e9, plus10 = -1e9, plus7 = 1e9;
    for (const Prim &t : all("text")) {
        EXPECT_GE(t.n[0], view.xMin) << t.text;
        EXPECT_LE(t.n[1], view.yMax) << t.text;
        if (t.text == "-10") minus10 = t.n[0];
        if (t.text == " 10") plus10 = t.n[0];
        if (t.text == " 7") plus7 = t.n[1];
    }
    EXPECT_EQ(minus10, view.xMin);       // moved right up to the edge
    EXPECT_LT(plus10, 10 - 0.5);         // its end left of x = 10
    EXPECT_LE(plus7, view.yMax);
}

TEST_F(PlotPassTest, TicksAndLabelsFollowTheView) {
    struct Case {
        PlotView view;
        int xTicks, yTicks;
        std::vector<std::string> someLabels, noLabels;
    };
    const Case cases[] = {
        // Every integer: 21 ticks on x (0 once), 14 on y (no tick at 0).
        {{-10, 10, -7.5f, 7.5f}, 21, 14, {" 0", "-10", " 10", " 7", "-7"}, {}},
        // A step of 100, and " 100" / "-100" are too long to print.
        {{-1000, 1000, -7.5f, 7.5f}, 21, 14, {" 0"}, {" 100", "-100", "-1000"}},
    };
    for (const Case &c : cases) {
        plot({}, c.view);
        int xTicks = 0, yTicks = 0;
        for (const Prim &l : all("line")) {
            if (l.n[0] == l.n[2] && std::fabs(l.n[1]) < 1 && l.n[1] == -l.n[3]) ++xTicks;
            if (l.n[1] == l.n[3] && l.n[0] == -l.n[2] && l.n[1] != 0) ++yTicks;
        }
        EXPECT_EQ(xTicks, c.xTicks) << c.view.xMin;
        EXPECT_EQ(yTicks, c.yTicks) << c.view.xMin;
        std::vector<std::string> labels;
        for (const Prim &t : all("text")) labels.push_back(t.text);
        for (const std::string &l : c.someLabels)
            EXPECT_NE(std::find(labels.begin(), labels.end(), l), labels.end()) << l;
        for (const std::string &l : c.noLabels)
            EXPECT_EQ(std::find(labels.begin(), labels.end(), l), labels.end()) << l;
        if (c.view.xMin == -1000) {
            const std::vector<std::string> xLabels(labels.begin(), labels.end());
            EXPECT_EQ(std::count(xLabels.begin(), xLabels.end(), " 0"), 1);
        }
    }
}

TEST_F(PlotPassTest, NoAxisOutsideTheView) {
    struct Case {
        PlotView view;
        bool xAxis, yAxis;
    };
    const Case cases[] = {
        {{-10, 10, -7.5f, 7.5f}, true, true},
        {{1, 5, -7.5f, 7.5f}, true, false},
        {{-10, 10, 2, 8}, false, true},
        {{1, 5, 2, 8}, false, false},
    };
    for (const Case &c : cases) {
        plot({}, c.view);
        bool xAxis = false, yAxis = false;
        for (const Prim &l : all("line")) {
            xAxis |= l.n == std::vector<double>{c.view.xMin, 0, c.view.xMax, 0};
            yAxis |= l.n == std::vector<double>{0, c.view.yMin, 0, c.view.yMax};
        }
        EXPECT_EQ(xAxis, c.xAxis) << c.view.xMin << " " << c.view.yMin;
        EXPECT_EQ(yAxis, c.yAxis) << c.view.xMin << " " << c.view.yMin;
        if (!c.xAxis && !c.yAxis) {
            EXPECT_TRUE(all("text").empty());
        }
    }
}

TEST_F(PlotPassTest, GridLinesSpanTheViewInGrey) {
    settings.grid = true;
    plot({});
    EXPECT_NE(std::find(canvas.records().begin(), canvas.records().end(), "line 5 -7.5 5 7.5"),
              canvas.records().end());
    EXPECT_NE(std::find(canvas.records().begin(), canvas.records().end(), "color 808080"),
              canvas.records().end());
}

// ---------------------------------------------------------------------------
// Curves.

TEST_F(PlotPassTest, EveryRowStartsANewPiece) {
    PlotRow a = row("y=1"), b = row("y=1.5");
    b.color = kRowColor;
    plot({a, b});
    const std::vector<Prim> c = curve();
    ASSERT_GT(c.size(), 300u);
    EXPECT_EQ(count(c, "point"), 2);  // the first point of each row
    EXPECT_EQ(c.front().op, "point");
    EXPECT_EQ(c.front().n, (std::vector<double>{-10, 1}));
}

TEST_F(PlotPassTest, AReciprocalIsDrawnInTwoPieces) {
    plot({row("y=1/x", "-5", "5")});
    const std::vector<Prim> c = curve();
    ASSERT_FALSE(c.empty());
    double penY = 0;
    bool negative = false, positive = false;
    for (const Prim &p : c) {
        if (p.op == "lineto") {
            EXPECT_GT(penY * p.n[1], 0) << "a line joins the branches at x=" << p.n[0];
        }
        penY = p.n[1];
        (p.n[1] < 0 ? negative : positive) = true;
    }
    EXPECT_TRUE(negative && positive);
}

TEST_F(PlotPassTest, FailingPointsLeaveGapsQuietly) {
    struct Case {
        const char *equation, *from;
        double firstX;  // the first point drawn
    };
    const Case cases[] = {
        {"y=1/x", "0", 0.1},     // the pole at 0 itself is dropped
        {"y=sqr(x)", "-1", 0},   // square roots of negative numbers fail
        {"y=log(x)", "-1", 0},   // so do logarithms below 0 (the sweep passes 0 at 1.5e-8)
    };
    for (const Case &c : cases) {
        host_.boxes.clear();
        const PlotOutcome out = plot({row(c.equation, c.from, "1")});
        EXPECT_FALSE(out.failed) << c.equation;
        EXPECT_TRUE(host_.boxes.empty()) << c.equation << ": " << (host_.boxes.empty() ? "" : host_.boxes[0]);
        const std::vector<Prim> p = curve();
        ASSERT_FALSE(p.empty()) << c.equation;
        EXPECT_EQ(p.front().op, "point") << c.equation;
        EXPECT_NEAR(p.front().n[0], c.firstX, 1e-6) << c.equation;
    }
}

TEST_F(PlotPassTest, ConnectOffDrawsOnlyPoints) {
    settings.connect = false;
    for (const char *eq : {"y=x^2", "r=2", "x=cos(t), y=sin(t)", "f(x,z)=x*z"}) {
        PlotRow r = row(eq, "-1", "1", eq[0] == 'x' ? "t" : "x");
        plot({r});
        const std::vector<Prim> c = curve();
        EXPECT_GT(c.size(), 10u) << eq;
        EXPECT_EQ(count(c, "lineto"), 0) << eq;
    }
}

TEST_F(PlotPassTest, EmptyRangeTakesTheViewsLimits) {
    const PlotView view{-3, 3, -7.5f, 7.5f};
    plot({row("y=x")}, view);
    std::vector<Prim> c = curve();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.front().n[0], -3);
    EXPECT_NEAR(c.back().n[0], 3, 0.1001);
    // Polar rows too: r=1 starts at the angle -3.
    plot({row("r=1", "", "", "t")}, view);
    c = curve();
    ASSERT_FALSE(c.empty());
    EXPECT_NEAR(c.front().n[0], std::cos(-3.0), 1e-6);
    EXPECT_NEAR(c.front().n[1], std::sin(-3.0), 1e-6);
}

TEST_F(PlotPassTest, KindsDrawWhereTheirFormulasSay) {
    struct Case {
        const char *equation, *variable, *from, *to;
        double x0, y0;  // the first point
        size_t points;  // samples drawn: the step 0.1 is single precision, so 1.0 lies past 10 steps
    };
    const Case cases[] = {
        {"y=2*x+1", "x", "0", "1", 0, 1, 10},
        {"Y = x", "x", "1", "2", 1, 1, 10},  // blanks and case around the kind
        {"r=2", "t", "0", "1", 2, 0, 10},
        {"x=t, y=t^2", "t", "1", "2", 1, 1, 10},
        {"x=max(t,0), y=2", "t", "1", "2", 1, 2, 10},  // a comma inside brackets is not the split
        {"q=x", "x", "0", "1", 0, 0, 0},               // no such kind
        {"y x", "x", "0", "1", 0, 0, 0},               // no "="
        {"y= ", "x", "0", "1", 0, 0, 0},               // templates not filled in yet
        {"x=   , y=", "t", "0", "1", 0, 0, 0},
    };
    for (const Case &c : cases) {
        plot({row(c.equation, c.from, c.to, c.variable)});
        const std::vector<Prim> p = curve();
        ASSERT_EQ(p.size(), c.points) << c.equation;
        if (p.empty()) continue;
        EXPECT_NEAR(p.front().n[0], c.x0, 1e-6) << c.equation;
        EXPECT_NEAR(p.front().n[1], c.y0, 1e-6) << c.equation;
    }
}

TEST_F(PlotPassTest, TheVariableFieldNamesAVariableAndNothingElse) {
    // Text after the name would be part of the definition: nothing is sent,
    // so x stays undefined and the row fails as any unknown name does.
    const PlotOutcome out = plot({row("y=x+1", "0", "1", "x At 4096")});
    EXPECT_TRUE(out.failed);
    EXPECT_FALSE(host_.boxes.empty());
    plot({row("y=q7+1", "0", "1", "q7")});
    EXPECT_EQ(curve().size(), 10u);
}

TEST_F(PlotPassTest, AHiddenRowDrawsNothing) {
    PlotRow r = row("y=x");
    r.show = false;
    plot({r});
    EXPECT_TRUE(curve().empty());
}

TEST_F(PlotPassTest, TheSurfaceHidesWhatLiesBehindTheHorizon) {
    // In view, the horizon hides part of the lines; with every column outside
    // 0..640 each point is tested against column 0 and almost all are hidden.
    plot({row("f(x,z)=0", "-1", "1")}, {-5, 5, -5, 5});
    const size_t inView = curve().size();
    plot({row("f(x,z)=0", "-1", "1")}, {100, 110, -5, 5});
    const size_t clamped = curve().size();
    EXPECT_GT(inView, 300u);
    EXPECT_GE(clamped, 40u);  // one point per line of pass one, one line of pass two
    EXPECT_LE(clamped, 53u);
    // The axis figure with its letters closes the row.
    const std::vector<std::string> &r = canvas.records();
    EXPECT_NE(std::find(r.begin(), r.end(), "line 0 0 1 1"), r.end());
}

TEST_F(PlotPassTest, TitleAndLabelsAreCentred) {
    settings.title = "Waves";
    settings.xLabel = "time";
    settings.yLabel = "ab";
    plot({row("y=sin(x)")});
    const std::vector<Prim> t = all("text");
    auto find = [&](const std::string &s) {
        for (const Prim &p : t)
            if (p.text == s) return p.n;
        return std::vector<double>{};
    };
    EXPECT_EQ(find("Waves"), (std::vector<double>{(454 - 30) / 2.0, 0}));
    EXPECT_EQ(find("time"), (std::vector<double>{(454 - 24) / 2.0, 303 - 12}));
    EXPECT_EQ(find("a"), (std::vector<double>{0, 36}));  // after three empty lines
    EXPECT_EQ(find("b"), (std::vector<double>{0, 48}));
}

// ---------------------------------------------------------------------------
// Failures and files.

TEST_F(PlotPassTest, AParseErrorTakesTheErrorExitAtItsRow) {
    const PlotOutcome out = plot({row("y=x"), row("y=(x+"), row("y=2")});
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(out.failingRow, 1);
    EXPECT_FALSE(host_.boxes.empty());
    EXPECT_FALSE(binding().FpTrapMode());  // plot mode is left on the error exit too
}

TEST_F(PlotPassTest, AMissingDataFileSaysSo) {
    const PlotOutcome out = plot({row("File=/nonexistent/graph.dat")});
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(host_.boxes, std::vector<std::string>{"File not found"});
    // "File=" alone (the file dialog was cancelled) plots nothing, quietly.
    host_.boxes.clear();
    EXPECT_FALSE(plot({row("File=")}).failed);
    EXPECT_TRUE(host_.boxes.empty());
}

TEST(CoordinatePairs, BlanksCommasAndLineEndsSeparate) {
    struct Case {
        const char *text;
        std::vector<PlotPoint> pairs;
    };
    const Case cases[] = {
        {"1 2\r\n3,4\n 5 , 6", {{1, 2}, {3, 4}, {5, 6}}},
        {"1\n2\n3\t4\n", {{1, 2}, {3, 4}}},
        {"-1.5e2,+2\r\n7", {{-150, 2}}},           // the last odd number is dropped
        {"1 2\n3 abc 5 6", {{1, 2}}},               // reading stops at text
        {"", {}},
    };
    for (const Case &c : cases) EXPECT_EQ(readCoordinatePairs(c.text), c.pairs) << c.text;
}

TEST_F(PlotPassTest, CoordinatesSavedAreDrawnBackTheSame) {
    testdirs::WorkingDirectory dir("nomix-plot-");
    save = true;
    const PlotOutcome saved = plot({row("y=x/2", "0", "2")});
    ASSERT_FALSE(saved.failed);
    std::ofstream("curve.dat", std::ios::binary) << saved.coordinates;
    const std::vector<Prim> drawn = curve();

    save = false;
    PlotRequest request;
    request.rows = {row("y=0")};
    request.fileMode = true;
    request.fileName = (dir.path() / "curve.dat").string();
    canvas = RecordingCanvas();
    const PlotOutcome opened = runPlotPass(canvas, request, settings);
    ASSERT_FALSE(opened.failed);
    const std::vector<Prim> read = curve();
    ASSERT_EQ(read.size(), drawn.size());
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].op, drawn[i].op) << i;
        EXPECT_NEAR(read[i].n[0], drawn[i].n[0], 1e-6);
        EXPECT_NEAR(read[i].n[1], drawn[i].n[1], 1e-6);
    }
}

TEST(TickLabel, WrittenAsThePrintRoutineDoes) {
    const std::pair<float, const char *> cases[] = {
        {0, " 0"}, {5, " 5"}, {-5, "-5"}, {-10, "-10"}, {99, " 99"}, {100, " 100"}, {0.5f, " .5"},
    };
    for (auto [v, text] : cases) EXPECT_EQ(tickLabel(v), text) << v;
}

TEST(SplitEquation, KindAndExpression) {
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"y=x^2", "Y", "x^2"},
        {"f(x, z)=x*z", "F(X,Z)", "x*z"},
        {"File= /tmp/My Graph.dat ", "FILE", "/tmp/My Graph.dat"},
        {"x=   , y=", "X", "   , y="},
        {"no equals", "", ""},
    };
    for (auto [eq, kind, expr] : cases) {
        const EquationParts p = splitEquation(eq);
        EXPECT_EQ(p.kind, kind) << eq;
        EXPECT_EQ(p.expression, expr) << eq;
    }
}

// ---------------------------------------------------------------------------
// Pan and zoom.

TEST(PlotView, PanAndZoomArithmetic) {
    const PlotView home{-10, 10, -7.5f, 7.5f};
    const PlotView zoomed{1, 2, 3, 4};
    EXPECT_EQ(panned(zoomed, home, PanDirection::Up), (PlotView{1, 2, 6, 7}));
    EXPECT_EQ(panned(zoomed, home, PanDirection::Right), (PlotView{5, 6, 3, 4}));
    EXPECT_EQ(panned(zoomed, home, PanDirection::Down), (PlotView{1, 2, 0, 1}));
    EXPECT_EQ(panned(zoomed, home, PanDirection::Left), (PlotView{-3, -2, 3, 4}));
    // Zero-size drag: nothing changes; a drag in any direction orders its corners.
    EXPECT_EQ(dragZoomed(home, {2, 3}, {2, 3}), home);
    EXPECT_EQ(dragZoomed(home, {4, -1}, {2, 3}), (PlotView{2, 4, -1, 3}));
    EXPECT_EQ(dragZoomed(home, {4, 1}, {2, 1}), (PlotView{2, 4, -7.5f, 7.5f}));
    // The right button zooms out by a fifth of the home range, whatever the view.
    EXPECT_EQ(zoomedOut(zoomed, home), (PlotView{-3, 6, 0, 7}));
    // The wheel keeps the point under the pointer in place.
    EXPECT_EQ(wheelZoomed(home, {0, 0}, 0.5), (PlotView{-5, 5, -3.75f, 3.75f}));
    EXPECT_EQ(wheelZoomed(home, {10, 7.5}, 0.5), (PlotView{0, 10, 0, 7.5f}));
    EXPECT_EQ(wheelZoomed(home, {0, 0}, 0), home);
}

TEST_F(PlotPassTest, TheHomeViewIsEvaluated) {
    settings.xMin = "-2*3";
    settings.xMax = "";
    EXPECT_EQ(homeView(settings), (PlotView{-6, 0, -7.5f, 7.5f}));
}

} // namespace
