// The graph windows with the engine on a thread of its own, as the desktop
// program runs them. The same session (rows filled, Plot, zooms and pans,
// .dat, SVG and .gra files, the options, a failing row) is run once with the
// jobs run at once and once threaded: the pictures, files and answers must be
// the same, and the threaded run must not reach the engine from the window
// thread. A window closed while its job waits is left alone afterwards.
#include <QComboBox>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QPainter>
#include <QWheelEvent>
#include <QtTest>

#include "engine_watch.h"
#include "frmGraph.h"
#include "frmGraphOptions.h"
#include "frmPlot.h"
#include "tools_fixture.h"

using namespace nomix;
using namespace nomix::gui;

namespace {

QLineEdit *edit(QWidget *w, const QString &name) { return w->findChild<QLineEdit *>(name); }

QString digest(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

// A picture as a checksum of its pixels (the format fixed first).
QString digest(const QImage &image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    return QString::number(rgb.width()) + 'x' + QString::number(rgb.height()) + ' ' +
           digest(QByteArray(reinterpret_cast<const char *>(rgb.constBits()), rgb.sizeInBytes()));
}

QString viewText(const PlotView &v) {
    return QStringLiteral("%1 %2 %3 %4").arg(v.xMin).arg(v.xMax).arg(v.yMin).arg(v.yMax);
}

QString fileText(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QStringLiteral("(missing)");
}

frmPlot *openPlot() { return qobject_cast<frmPlot *>(openDesignWindow(QStringLiteral("frmPlot"))); }

// Closes the set-up window (the graph goes with it) and deletes both.
void closeAll() {
    if (frmPlot *p = frmPlot::current()) p->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The whole session; every answer the user could see, in order.
QStringList session(toolstest::ToolApplication &env) {
    env.app.settings() = Settings();
    env.host.boxes.clear();
    QStringList out;
    auto ok = [&out](bool done, const char *what) {
        if (!done) out << QStringLiteral("FAILED ") + what;
    };
    frmPlot *p = openPlot();
    p->btnClear_Click();
    edit(p, "txtEquation0")->setText("y=x^2/4");
    p->btnAddEntry_Click();
    edit(p, "txtEquation1")->setText("y=3*sin(x)");
    p->btnAddEntry_Click();
    auto *type = p->findChild<QComboBox *>("cmbType2");
    type->setCurrentIndex(type->findText("Polar"));  // its template reads the settings
    edit(p, "txtEquation2")->setText(edit(p, "txtEquation2")->text() + "2+cos(3*t)");
    out << edit(p, "txtFrom2")->text() + ".." + edit(p, "txtTo2")->text();
    p->btnPlot_Click();
    frmGraph *g = frmGraph::current();
    g->resize(400, 300 + g->height() - g->plotArea().height());  // a 400x300 drawing
    g->btnRefresh_Click();
    QTest::qWait(10);
    auto shown = [&](const char *what) { out << what + (' ' + viewText(g->view())) + ' ' + digest(g->image()); };
    shown("plot");
    QTest::mousePress(g, Qt::LeftButton, {}, QPoint(200, 150));
    QTest::mouseMove(g, QPoint(400, 0));
    QTest::mouseRelease(g, Qt::LeftButton, {}, QPoint(400, 0));
    shown("drag");
    QWheelEvent wheel(QPointF(100, 100), g->mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(g, &wheel);
    shown("wheel");
    QTest::keyClick(g, Qt::Key_Left);
    shown("pan");
    QTest::mouseClick(g, Qt::RightButton, {}, QPoint(10, 10));
    shown("out");

    const QDir dir(env.dir.path());
    ok(g->saveFile(dir.filePath("curve.dat"), {}), "g->saveFile");
    out << "dat " + fileText(dir.filePath("curve.dat")).section('\n', 0, 2);
    ok(g->saveFile(dir.filePath("curve.svg"), {}), "g->saveFile");
    out << "svg " + digest(fileText(dir.filePath("curve.svg")).toLatin1());
    QImage page(300, 200, QImage::Format_RGB32);
    {
        QPainter painter(&page);
        g->printPage(painter, page.rect());
    }
    out << "copy " + digest(page);
    ok(g->openFile(dir.filePath("curve.dat")), "g->openFile");
    shown("opened");

    // The options through their window, then back from a .gra file.
    ok(p->saveFile(dir.filePath("list.gra"), {}), "p->saveFile");
    auto *options = qobject_cast<frmGraphOptions *>(openDesignWindow("frmGraphOptions"));
    edit(options, "txtXmax")->setText("20");
    edit(options, "txtPrecision")->setText("0");
    options->btnOk_Click();
    out << QString::fromStdString(env.app.settings().xMax) + ' ' + QString::number(env.app.settings().graphStep);
    p->btnClear_Click();
    ok(p->openFile(dir.filePath("list.gra")), "p->openFile");
    out << QString::fromStdString(env.app.settings().xMax) + ' ' + edit(p, "txtEquation1")->text();
    p->btnPlot_Click();
    shown("reopened");

    // A row that does not parse: the engine's box, the graph hidden.
    edit(p, "txtEquation1")->setText("y=(x+");
    p->btnPlot_Click();
    out << (g->isVisible() ? "visible" : "hidden");
    for (const std::string &box : env.host.boxes) out << QString::fromStdString(box);
    closeAll();
    return out;
}

// Handlers that run a job; the window is deleted while the job waits.
struct Closing {
    const char *name;
    void (*act)(frmPlot *plot, frmGraph *graph, const QString &dir);
    bool deletesPlot;  // else the graph window (or the options) goes
};
const Closing kClosing[] = {
    {"graph refresh", [](frmPlot *, frmGraph *g, const QString &) { g->btnRefresh_Click(); }, false},
    {"graph pan", [](frmPlot *, frmGraph *g, const QString &) { g->btnArrow_Click(0); }, false},
    {"graph .dat", [](frmPlot *, frmGraph *g, const QString &d) { QVERIFY(!g->saveFile(d + "/x.dat", {})); }, false},
    {"graph svg", [](frmPlot *, frmGraph *g, const QString &d) { QVERIFY(!g->saveFile(d + "/x.svg", {})); }, false},
    {"graph opens", [](frmPlot *, frmGraph *g, const QString &d) { QVERIFY(!g->openFile(d + "/x.dat")); }, false},
    {"list adds", [](frmPlot *p, frmGraph *, const QString &) {
         p->btnAddEntry_Click();  // the details back (Plot hid them)
         p->btnAddEntry_Click();
     }, true},
    {"list clears", [](frmPlot *p, frmGraph *, const QString &) { p->btnClear_Click(); }, true},
    {"list saves", [](frmPlot *p, frmGraph *, const QString &d) { QVERIFY(!p->saveFile(d + "/x.gra", {})); }, true},
};

} // namespace

class TestGraphEngineThread : public QObject {
    Q_OBJECT
    toolstest::ToolApplication env;

private slots:
    void cleanup() {
        DesignWindow::setEngineJobRunner({});
        closeAll();
    }

    void sameSessionWithTheEngineOnItsOwnThread() {
        QStringList atOnce, threaded;
        {
            Watch watch;  // without a program the jobs run right here, which the wrappers see
            atOnce = session(env);
            QVERIFY(windowThreadCalls > 0);
        }
        DesignWindow::setEngineJobRunner(runOnItsOwnThread);
        {
            Watch watch;
            threaded = session(env);
            QCOMPARE(windowThreadCalls.load(), 0);
            QVERIFY(jobThreadCalls > 0);
        }
        QCOMPARE(threaded, atOnce);
        const QString all = atOnce.join('|');
        // The answers hold what the session showed, so an empty run cannot pass.
        QVERIFY2(all.contains("0..2*pi") && all.contains("dat -8.625,15.375") && all.contains("20 1") &&
                     all.contains("hidden") && !all.contains("FAILED") && atOnce.size() > 14,
                 qPrintable(all));
    }

    void aWindowClosedWhileItsJobWaitedIsLeftAlone_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(kClosing)); ++i) QTest::newRow(kClosing[i].name) << i;
    }

    void aWindowClosedWhileItsJobWaitedIsLeftAlone() {
        QFETCH(int, index);
        const Closing &c = kClosing[index];
        frmPlot *p = openPlot();
        p->btnClear_Click();
        edit(p, "txtEquation0")->setText("y=x");
        p->btnPlot_Click();
        frmGraph *g = frmGraph::current();
        QVERIFY(g);
        QPointer<QWidget> victim = c.deletesPlot ? static_cast<QWidget *>(p) : g;
        int jobs = 0;
        DesignWindow::setEngineJobRunner([&](const std::function<void()> &job) {
            job();
            if (jobs++ == 0) delete victim.data();  // the user closed it meanwhile
        });
        c.act(p, g, env.dir.path());
        QVERIFY(victim.isNull());
        QVERIFY(jobs >= 1);
    }
};

QTEST_MAIN(TestGraphEngineThread)
#include "tst_graph_enginethread.moc"
