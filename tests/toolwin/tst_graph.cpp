// The graph window, the plot set-up window and the graph options, offscreen:
// rows, plotting, the error exit, files (.gra, .dat, PNG, SVG, PDF), the mouse,
// the keys and the wheel, and the controls scripts name.
#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTemporaryDir>

#include "frmGraph.h"
#include "frmGraphOptions.h"
#include "frmPlot.h"
#include "shell/bootstrap.h"
#include "shell/calculator.h"

using namespace nomix;
using namespace nomix::gui;

namespace {

// Records the boxes; routes the script natives' control names to the plot
// set-up window as the main window does.
class BoxHost : public Host {
public:
    QStringList boxes;
    int messageBox(const std::string &p, int, const std::string &) override {
        boxes << QString::fromStdString(p);
        return 1;
    }
    std::string inputBox(const std::string &, const std::string &, const std::string &d) override { return d; }
    void doEvents() override { QApplication::processEvents(); }
    void sleepMs(int) override {}
    bool closing() const override { return false; }

    QWidget *control(const ControlRef &c) const {
        auto *plot = qobject_cast<frmPlot *>(openDesignWindow(QStringLiteral("frmPlot")));
        return plot ? plot->scriptControl(QString::fromStdString(c.name), c.index) : nullptr;
    }
    bool resolveControl(const ControlRef &c) override { return control(c) != nullptr; }
    std::string controlText(const ControlRef &c) const override {
        if (auto *e = qobject_cast<QLineEdit *>(control(c))) return e->text().toStdString();
        if (auto *b = qobject_cast<QComboBox *>(control(c))) return b->currentText().toStdString();
        return {};
    }
    void setControlText(const ControlRef &c, const std::string &text, size_t caret) override {
        if (auto *e = qobject_cast<QLineEdit *>(control(c))) {
            e->setText(QString::fromStdString(text));
            e->setCursorPosition(int(caret));
        } else if (auto *b = qobject_cast<QComboBox *>(control(c))) {
            b->setCurrentText(QString::fromStdString(text));
        }
    }
    void pressKey(const ControlRef &c, Key key) override {
        if (auto *b = qobject_cast<QPushButton *>(control(c)); b && key == Key::Space) b->click();
    }
    void sendChar(const ControlRef &c, char ch) override {
        if (QWidget *w = control(c); w && ch == '\r') QTest::keyClick(w, Qt::Key_Return);
    }
};

// Pixels of a row's hue: anti-aliased thin lines are blends with the paper,
// so their hue tells the row, not their exact colour.
int pixelsOf(const QImage &image, QColor colour) {
    int n = 0;
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    const int hue = colour.hsvHue();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            const int d = std::abs(c.hsvHue() - hue);
            if (c.hsvSaturation() > 60 && std::min(d, 360 - d) < 12) ++n;
        }
    return n;
}

} // namespace

class GraphWindows : public QObject {
    Q_OBJECT
    BoxHost host_;
    std::unique_ptr<Application> app_;
    QTemporaryDir dir_;

    frmPlot *plot() {
        if (frmPlot *open = frmPlot::current()) return open;
        return qobject_cast<frmPlot *>(openDesignWindow(QStringLiteral("frmPlot")));
    }
    frmGraph *graph() { return frmGraph::current(); }
    QLineEdit *edit(const QString &name) { return plot()->findChild<QLineEdit *>(name); }
    QColor rowColour(int row) { return colorFromBgr(equationColor(row)); }
    void plotEquation(const QString &equation) {
        plot()->btnClear_Click();
        edit(QStringLiteral("txtEquation0"))->setText(equation);
        plot()->btnPlot_Click();
    }

private slots:
    void initTestCase() {
        app_ = std::make_unique<Application>(host_);
        DefineApplicationLanguage(binding());
        QVERIFY(dir_.isValid());
    }
    void cleanupTestCase() {
        for (QWidget *w : QApplication::topLevelWidgets()) w->close();
        app_.reset();
    }
    void init() {
        app_->settings() = Settings();
        host_.boxes.clear();
        plot()->btnClear_Click();
        // Plotting hides the details; "&Details ==>" shows them again.
        auto *add = plot()->findChild<QPushButton *>(QStringLiteral("btnAddEntry"));
        if (add->text() != QLatin1String("&Next Equation")) add->click();
    }

    void rowsAreAddedInTheirColoursUpToSixteen() {
        frmPlot *p = plot();
        QCOMPARE(edit(QStringLiteral("txtEquation0"))->text(), QStringLiteral("y="));
        for (int i = 0; i < 20; ++i) p->btnAddEntry_Click();
        QCOMPARE(p->list().lastIndex(), 15);
        QVERIFY(!edit(QStringLiteral("txtEquation16")));
        QCOMPARE(edit(QStringLiteral("txtEquation1"))->palette().color(QPalette::Text), colorFromBgr(0xC000C0));
        QCOMPARE(edit(QStringLiteral("txtEquation2"))->palette().color(QPalette::Text), colorFromBgr(0xFF00FF));
        QCOMPARE(edit(QStringLiteral("txtEquation15"))->palette().color(QPalette::Text), QColor(Qt::black));
        p->btnClear_Click();
        QTRY_VERIFY(!edit(QStringLiteral("txtEquation1")));
        QCOMPARE(p->list().lastIndex(), 0);
    }

    void enterMovesAlongARowAndAddsRows() {
        frmPlot *p = plot();
        p->show();
        auto *type = p->findChild<QComboBox *>(QStringLiteral("cmbType0"));
        type->setCurrentIndex(2);  // Parametric
        QLineEdit *eq = edit(QStringLiteral("txtEquation0"));
        QCOMPARE(eq->text(), QStringLiteral("x=   , y="));
        QCOMPARE(edit(QStringLiteral("txtFrom0"))->text(), QStringLiteral("0"));
        QCOMPARE(eq->cursorPosition(), 2);
        QTest::keyClick(eq, Qt::Key_Return);  // the caret goes behind "y="
        QCOMPARE(eq->cursorPosition(), eq->text().size());
        QCOMPARE(p->list().lastIndex(), 0);
        QTest::keyClick(eq, Qt::Key_Return);  // now a row is added
        QCOMPARE(p->list().lastIndex(), 1);
        QTest::keyClick(edit(QStringLiteral("txtVar1")), Qt::Key_Return);
        QTest::keyClick(edit(QStringLiteral("txtFrom1")), Qt::Key_Return);
        QTest::keyClick(edit(QStringLiteral("txtTo1")), Qt::Key_Return);
        QCOMPARE(p->list().lastIndex(), 2);
    }

    void dataFileRowsTakeTheChosenFile() {
        frmPlot *p = plot();
        p->setDataFileChooser([] { return QString(); });  // cancelled
        p->findChild<QComboBox *>(QStringLiteral("cmbType0"))->setCurrentIndex(4);
        QCOMPARE(edit(QStringLiteral("txtEquation0"))->text(), QStringLiteral("File="));
        p->btnPlot_Click();
        QVERIFY(graph() && graph()->isVisible());  // "File=" plots nothing, quietly
        QVERIFY(host_.boxes.isEmpty());
    }

    void plottingDrawsTheCurveInItsColour() {
        plotEquation(QStringLiteral("y=x/2"));
        QVERIFY(graph() && graph()->isVisible());
        QCOMPARE(plot()->LocalError(), 0);
        QVERIFY(pixelsOf(graph()->image(), rowColour(0)) > 100);
        // Details are hidden while plotting.
        QCOMPARE(plot()->findChild<QPushButton *>(QStringLiteral("btnAddEntry"))->text(),
                 QStringLiteral("&Details ==>"));
        QVERIFY(!plot()->findChild<QComboBox *>(QStringLiteral("cmbType0"))->isVisible());
        plot()->btnAddEntry_Click();
        QVERIFY(plot()->findChild<QComboBox *>(QStringLiteral("cmbType0"))->isVisible());
    }

    void aParseErrorHidesTheGraphAndFocusesTheRow() {
        plotEquation(QStringLiteral("y=x"));
        plot()->btnAddEntry_Click();
        plot()->btnAddEntry_Click();
        edit(QStringLiteral("txtEquation1"))->setText(QStringLiteral("y=(x+"));
        plot()->btnPlot_Click();
        QVERIFY(!graph()->isVisible());
        QVERIFY(!host_.boxes.isEmpty());
        QCOMPARE(plot()->focusWidget(), edit(QStringLiteral("txtEquation1")));
        QCOMPARE(plot()->LocalError(), 0);  // reset after Plot's pass
        edit(QStringLiteral("txtEquation1"))->setText(QStringLiteral("y=x+1"));
        plot()->btnPlot_Click();
        QVERIFY(graph()->isVisible());
    }

    void graListsAreSavedAndOpened() {
        plot()->btnAddEntry_Click();
        edit(QStringLiteral("txtEquation0"))->setText(QStringLiteral("y=x^2"));
        edit(QStringLiteral("txtEquation1"))->setText(QStringLiteral("y=-x"));
        plot()->findChild<QCheckBox *>(QStringLiteral("chkShow1"))->setChecked(false);
        app_->settings().title = "Squares";
        const QString file = dir_.filePath(QStringLiteral("list.gra"));
        QVERIFY(plot()->saveFile(file, {}));
        plot()->btnClear_Click();
        app_->settings().title.clear();
        QVERIFY(plot()->openFile(file));
        QCOMPARE(plot()->list().lastIndex(), 1);
        QCOMPARE(edit(QStringLiteral("txtEquation1"))->text(), QStringLiteral("y=-x"));
        QVERIFY(!plot()->findChild<QCheckBox *>(QStringLiteral("chkShow1"))->isChecked());
        QCOMPARE(app_->settings().title, std::string("Squares"));
        QVERIFY(!plot()->openFile(dir_.filePath(QStringLiteral("missing.gra"))));
    }

    void coordinateDataIsSavedAndOpened() {
        plotEquation(QStringLiteral("y=x"));
        const QString file = dir_.filePath(QStringLiteral("line.dat"));
        QVERIFY(graph()->saveFile(file, {}));
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = saved.readAll().split('\n');
        QVERIFY(lines.size() > 150);
        QVERIFY(lines[0].startsWith("-10,-10"));
        plotEquation(QStringLiteral("y=5"));  // something else on screen
        QVERIFY(graph()->openFile(file));
        const QImage opened = graph()->image();
        plotEquation(QStringLiteral("y=x"));
        QCOMPARE(pixelsOf(opened, rowColour(0)), pixelsOf(graph()->image(), rowColour(0)));
        QVERIFY(!graph()->openFile(dir_.filePath(QStringLiteral("none.dat"))));
        QVERIFY(host_.boxes.contains(QStringLiteral("File not found")));
        // The failed pass blocks later passes, but not the next Plot.
        plotEquation(QStringLiteral("y=x"));
        QVERIFY(graph()->isVisible());
        QVERIFY(pixelsOf(graph()->image(), rowColour(0)) > 100);
    }

    void picturesAreExportedAndReadBack() {
        plotEquation(QStringLiteral("y=sin(x)*3"));
        const QString png = dir_.filePath(QStringLiteral("graph.png"));
        const QString bmp = dir_.filePath(QStringLiteral("graph.bmp"));
        const QString svg = dir_.filePath(QStringLiteral("graph.svg"));
        QVERIFY(graph()->saveFile(png, {}));
        QVERIFY(graph()->saveFile(bmp, {}));
        QVERIFY(graph()->saveFile(svg, {}));
        const QImage fromPng(png), fromBmp(bmp);
        QCOMPARE(fromPng.size(), graph()->image().size());
        QCOMPARE(fromBmp.size(), graph()->image().size());
        QVERIFY(pixelsOf(fromPng, rowColour(0)) > 100);
        QSvgRenderer renderer(svg);
        QVERIFY(renderer.isValid());
        QImage rendered(graph()->plotArea().size(), QImage::Format_ARGB32);
        rendered.fill(Qt::white);
        QPainter painter(&rendered);
        renderer.render(&painter);
        painter.end();
        QVERIFY(pixelsOf(rendered, rowColour(0)) > 100);
        QFile text(svg);
        QVERIFY(text.open(QIODevice::ReadOnly));
        QVERIFY(text.readAll().contains("<polyline"));  // a vector picture, not an embedded image
        // Pictures open as the background, the SVG one too.
        for (const QString &picture : {png, svg}) {
            plotEquation(QStringLiteral("y=0"));
            QVERIFY(graph()->openFile(picture));
            QVERIFY(pixelsOf(graph()->image(), rowColour(0)) > 100);
        }
        QVERIFY(!graph()->openFile(dir_.filePath(QStringLiteral("old.wmf"))));  // missing
        QFile wmf(dir_.filePath(QStringLiteral("old.wmf")));
        QVERIFY(wmf.open(QIODevice::WriteOnly));
        wmf.write("not really");
        wmf.close();
        host_.boxes.clear();
        QVERIFY(!graph()->openFile(wmf.fileName()));
        QVERIFY(host_.boxes.value(0).contains(QLatin1String("cannot be shown on Linux")));
    }

    // Special Copy paints the window's picture onto an image: no equation lines.
    void specialCopyPaintsTheWindowsPicture() {
        plotEquation(QStringLiteral("y=x"));
        QImage copy(graph()->plotArea().size(), QImage::Format_RGB32);
        QPainter painter(&copy);
        graph()->printPage(painter, copy.rect());
        painter.end();
        const QImage shown = graph()->image().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(pixelsOf(copy, rowColour(0)), pixelsOf(shown, rowColour(0)));
    }

    void printingToPdfNeedsNoPrinter() {
        app_->settings().title = "Printed";
        plotEquation(QStringLiteral("y=x^2/4"));
        const QString pdf = dir_.filePath(QStringLiteral("graph.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QPainter painter(&printer);
        graph()->printPage(painter, painter.viewport());
        painter.end();
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(4) == "%PDF");
        QVERIFY(file.size() > 1000);
    }

    void theMouseTheKeysAndTheWheelMoveTheView() {
        plotEquation(QStringLiteral("y=x"));
        frmGraph *g = graph();
        g->resize(400, 300 + g->height() - g->plotArea().height());  // a 400x300 drawing
        QTest::qWait(20);
        const PlotView home = g->view();
        // A click without a drag leaves the view alone.
        QTest::mouseClick(g, Qt::LeftButton, {}, QPoint(100, 100));
        QCOMPARE(g->view(), home);
        // A drag from the centre to the top right corner zooms to that quarter.
        QTest::mousePress(g, Qt::LeftButton, {}, QPoint(200, 150));
        QTest::mouseMove(g, QPoint(400, 0));
        QTest::mouseRelease(g, Qt::LeftButton, {}, QPoint(400, 0));
        QCOMPARE(g->view(), (PlotView{0, 10, 0, 7.5f}));
        QTest::mouseMove(g, QPoint(300, 75));
        QCOMPARE(g->findChild<QLabel *>(QStringLiteral("lblPosition"))->text(), QStringLiteral("x= 7.50    y= 5.63"));
        // Any other button zooms out by a fifth of the home range.
        QTest::mouseClick(g, Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(g->view(), (PlotView{-4, 14, -3, 10.5f}));
        QTest::keyClick(g, Qt::Key_Left);
        QCOMPARE(g->view(), (PlotView{-8, 10, -3, 10.5f}));
        QTest::keyClick(g, Qt::Key_Up);
        QCOMPARE(g->view(), (PlotView{-8, 10, 0, 13.5f}));
        g->btnRefresh_Click();
        QCOMPARE(g->view(), home);
        QWheelEvent wheel(QPointF(200, 150), g->mapToGlobal(QPointF(200, 150)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(g, &wheel);
        QCOMPARE(g->view(), (PlotView{-8, 8, -6, 6}));
    }

    void theScriptNamesReachTheControls() {
        frmPlot *p = plot();
        QCOMPARE(p->scriptControl(QStringLiteral("PLOTEQ"), -1), edit(QStringLiteral("txtEquation0")));
        QCOMPARE(p->scriptControl(QStringLiteral("plotfrom"), 0), edit(QStringLiteral("txtFrom0")));
        QVERIFY(!p->scriptControl(QStringLiteral("PLOTTO"), 3));
        auto *next = qobject_cast<QPushButton *>(p->scriptControl(QStringLiteral("NEXT"), -1));
        QVERIFY(next);
        next->click();
        auto *type = qobject_cast<QComboBox *>(p->scriptControl(QStringLiteral("GRAPHTYPE"), 1));
        QVERIFY(type);
        type->setCurrentText(QStringLiteral("Polar"));
        QCOMPARE(edit(QStringLiteral("txtEquation1"))->text(), QStringLiteral("r="));
        qobject_cast<QLineEdit *>(p->scriptControl(QStringLiteral("PLOTTO"), 1))->setText(QStringLiteral("6.3"));
        qobject_cast<QLineEdit *>(p->scriptControl(QStringLiteral("PLOTEQ"), 1))->setText(QStringLiteral("r=3"));
        qobject_cast<QLineEdit *>(p->scriptControl(QStringLiteral("PLOTEQ"), 0))->setText(QStringLiteral("y=1"));
        qobject_cast<QPushButton *>(p->scriptControl(QStringLiteral("PLOT"), -1))->click();
        QVERIFY(graph()->isVisible());
        QVERIFY(pixelsOf(graph()->image(), rowColour(1)) > 100);
        qobject_cast<QPushButton *>(p->scriptControl(QStringLiteral("CLEARPLOTEQS"), -1))->click();
        QCOMPARE(p->list().lastIndex(), 0);
    }

    // A script fills the list through the natives and presses Plot.
    void aScriptFillsTheListAndPlots() {
        Calculator &calc = app_->calculator();
        for (const char *line : {"SetInput('PlotEq', 'y=x^2/4', 0)", "SendKey('Next', '{PUSH}')",
                                 "SetInput('GraphType+1', 'Polar', 0)", "SetInput('PlotEq+1', 'r=3', 0)",
                                 "SetInput('PlotTo+1', '6.3', 0)", "SendKey('PlotTo+1', '{ENTER}')",
                                 "SendKey('Plot', '{PUSH}')"}) {
            calc.setInput(line);
            calc.calculate();
        }
        QCOMPARE(plot()->list().lastIndex(), 2);  // Enter in To added row 2, left "y=" (nothing to draw)
        QCOMPARE(edit(QStringLiteral("txtEquation1"))->text(), QStringLiteral("r=3"));
        QVERIFY(graph()->isVisible());
        QVERIFY(host_.boxes.isEmpty());
        QVERIFY(pixelsOf(graph()->image(), rowColour(0)) > 100);
        QVERIFY(pixelsOf(graph()->image(), rowColour(1)) > 100);
    }

    void sessionRecordsRestoreTheList() {
        plot()->btnAddEntry_Click();
        edit(QStringLiteral("txtEquation1"))->setText(QStringLiteral("y=3"));
        const QStringList records = plot()->sessionRecords();
        QCOMPARE(records.first(), QStringLiteral("1"));
        plot()->btnClear_Click();
        RecordReader reader(records);
        plot()->restoreSession(reader);
        QCOMPARE(edit(QStringLiteral("txtEquation1"))->text(), QStringLiteral("y=3"));
    }

    // Inside a main window: the graph's frame opens right of the list's, at
    // the top; the error exit hides the frame, Plot shows it again.
    void insideAMainWindowTheFramesFollow() {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<DesignWindow *>(w)) delete w;
        QMdiArea area;
        area.resize(1000, 700);
        area.show();
        setWindowOpener([&area](const QString &name) -> DesignWindow * {
            for (QMdiSubWindow *sub : area.subWindowList())
                if (sub->widget()->objectName() == name) {
                    sub->show();
                    return qobject_cast<DesignWindow *>(sub->widget());
                }
            DesignWindow *w = createToolWindow(name);
            if (!w) return nullptr;
            area.addSubWindow(w)->show();
            return w;
        });
        plotEquation(QStringLiteral("y=x"));
        auto *plotFrame = qobject_cast<QMdiSubWindow *>(plot()->parentWidget());
        auto *graphFrame = qobject_cast<QMdiSubWindow *>(graph()->parentWidget());
        QVERIFY(plotFrame && graphFrame);
        QCOMPARE(plotFrame->pos(), QPoint(0, 0));
        QCOMPARE(graphFrame->pos(), QPoint(plotFrame->frameGeometry().right() + 1, 0));
        QVERIFY(graphFrame->isVisible());
        plotEquation(QStringLiteral("y=*"));
        QVERIFY(!graphFrame->isVisible());
        QCOMPARE(area.activeSubWindow(), plotFrame);
        plotEquation(QStringLiteral("y=1"));
        QVERIFY(graphFrame->isVisible());
        setWindowOpener({});
        for (QMdiSubWindow *sub : area.subWindowList()) delete sub;
    }

    void graphOptionsCheckThePrecision() {
        auto *options = qobject_cast<frmGraphOptions *>(openDesignWindow(QStringLiteral("frmGraphOptions")));
        QVERIFY(options);
        QCOMPARE(options->findChild<QLineEdit *>(QStringLiteral("txtPrecision"))->text(), QStringLiteral("10"));
        options->findChild<QLineEdit *>(QStringLiteral("txtPrecision"))->setText(QStringLiteral("-2"));
        options->findChild<QLineEdit *>(QStringLiteral("txtXmax"))->setText(QStringLiteral("20"));
        options->findChild<QCheckBox *>(QStringLiteral("chkGrid"))->setChecked(true);
        options->btnOk_Click();
        QCOMPARE(app_->settings().graphStep, 1.0);
        QCOMPARE(app_->settings().xMax, std::string("20"));
        QVERIFY(app_->settings().grid);
        // Cancel stores nothing.
        options = qobject_cast<frmGraphOptions *>(openDesignWindow(QStringLiteral("frmGraphOptions")));
        options->findChild<QLineEdit *>(QStringLiteral("txtGraphTitle"))->setText(QStringLiteral("No"));
        options->btnCancel_Click();
        QCOMPARE(app_->settings().title, std::string());
    }
};

QTEST_MAIN(GraphWindows)
#include "tst_graph.moc"
