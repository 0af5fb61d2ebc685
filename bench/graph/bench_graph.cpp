// nomix_bench_graph: the graph window's drawing pass. Each figure is measured
// twice: onto an anti-aliased 1600x1000 image through the painter canvas (what
// the window does), and onto a canvas that draws nothing (the engine's
// evaluations and the pass's own arithmetic), so the engine's share shows.
//
//   QT_QPA_PLATFORM=offscreen nomix_bench_graph [Google Benchmark flags]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "nxeng296.h"
#include "paintercanvas.h"
#include "shell/bootstrap.h"
#include "tools/plotpass.h"
#include "tools/plotlist.h"

namespace {

using namespace nomix;

class QuietHost : public Host {
public:
    int messageBox(const std::string &, int, const std::string &) override { return 1; }
    std::string inputBox(const std::string &, const std::string &, const std::string &d) override { return d; }
    void doEvents() override {}
    void sleepMs(int) override {}
    bool closing() const override { return false; }
};

// A canvas that only answers questions: what is left is the engine and the pass.
class NullCanvas : public PlotCanvas {
public:
    void clear() override {}
    void setColor(BgrColor) override {}
    void setDefaultColor() override {}
    void setUserScale(const PlotView &) override {}
    void setDeviceScale() override {}
    void line(PlotPoint, PlotPoint) override {}
    void lineTo(PlotPoint p) override { sink_ += p.y; }
    void point(PlotPoint p) override { sink_ += p.y; }
    void text(PlotPoint, std::string_view) override {}
    PlotPoint textSize(std::string_view) override { return {6, 12}; }
    PlotPoint deviceSize() const override { return {1600, 1000}; }
    double scaleHeight() const override { return 1000; }
    double fontSize() const override { return 9; }
    void setFont(double, bool) override {}
    bool backgroundPicture(const std::string &, std::string &) override { return true; }
    double sink_ = 0;
};

constexpr int kWidth = 1600, kHeight = 1000;

// 16 Cartesian rows of different shapes, each 20,001 points at precision 1000.
PlotRequest sixteenRows() {
    PlotRequest r;
    r.widthPx = kWidth;
    r.heightPx = kHeight;
    for (int k = 0; k < 16; ++k) {
        const std::string a = std::to_string(1 + k % 4);
        std::string b(1, k < 8 ? '-' : '+');
        b += std::to_string(std::abs(k - 8));
        const std::string eq = k % 2 ? "y=sin(x*" + a + ")*3" + b + "/3" : "y=x^2/(" + a + "*8)" + b + "/2";
        r.rows.push_back({eq, "x", "", "", true, equationColor(k)});
    }
    return r;
}

PlotRequest surface() {
    PlotRequest r;
    r.widthPx = kWidth;
    r.heightPx = kHeight;
    r.rows.push_back({"f(x,z)=Sin(x)*Cos(z)", "x", "-10", "10", true, equationColor(0)});
    r.view = {-15, 15, -10, 10};
    return r;
}

struct Fixture {
    QuietHost host;
    std::unique_ptr<Application> app;
    Settings rows, surface;
    Fixture() {
        app = std::make_unique<Application>(host);
        DefineApplicationLanguage(binding());
        rows.graphStep = 1.0 / 1000;
    }
};

Fixture &fixture() {
    static Fixture f;
    return f;
}

void onImage(benchmark::State &state, const PlotRequest &request, const Settings &settings) {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        gui::PainterCanvas canvas(painter, QRectF(0, 0, kWidth, kHeight), Qt::white, Qt::black);
        benchmark::DoNotOptimize(runPlotPass(canvas, request, settings).failed);
    }
}

void onNothing(benchmark::State &state, const PlotRequest &request, const Settings &settings) {
    NullCanvas canvas;
    for (auto _ : state) benchmark::DoNotOptimize(runPlotPass(canvas, request, settings).failed);
    benchmark::DoNotOptimize(canvas.sink_);
}

// The evaluations alone, outside plot mode (every fault masked): what the rows
// cost the engine without the trapping control word.
void rowsMaskedEvaluations(benchmark::State &state) {
    fixture();
    double *x = static_cast<double *>(nxAlloc(sizeof(double)));
    const intptr_t var = binding().DefineVar("x As Double", reinterpret_cast<intptr_t>(x));
    std::vector<intptr_t> handles;
    for (const PlotRow &row : sixteenRows().rows) handles.push_back(binding().Parse(splitEquation(row.equation).expression));
    for (auto _ : state) {
        double sum = 0;
        for (intptr_t h : handles)
            for (int i = 0; i <= 20000; ++i) {
                *x = -10 + i * 0.001;
                sum += nxEvaluateDbl(h);
            }
        benchmark::DoNotOptimize(sum);
    }
    for (intptr_t h : handles) binding().Release(h);
    binding().Release(var);
    nxFree(x);
}

void rowsImage(benchmark::State &s) { onImage(s, sixteenRows(), fixture().rows); }
void rowsEngine(benchmark::State &s) { onNothing(s, sixteenRows(), fixture().rows); }
void surfaceImage(benchmark::State &s) { onImage(s, surface(), fixture().surface); }
void surfaceEngine(benchmark::State &s) { onNothing(s, surface(), fixture().surface); }

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication qapp(argc, argv);
    benchmark::Initialize(&argc, argv);
    fixture();
    for (auto [name, fn] : {std::pair{"graph/16 rows x 20001 points/image 1600x1000", &rowsImage},
                            std::pair{"graph/16 rows x 20001 points/engine and pass only", &rowsEngine},
                            std::pair{"graph/16 rows x 20001 points/evaluations, faults masked", &rowsMaskedEvaluations},
                            std::pair{"graph/surface sin(x)*cos(z)/image 1600x1000", &surfaceImage},
                            std::pair{"graph/surface sin(x)*cos(z)/engine and pass only", &surfaceEngine}})
        benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
