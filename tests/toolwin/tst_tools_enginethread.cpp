// The tool windows with the engine on a thread of its own, as the desktop
// program runs it: every job on another thread while the window thread keeps
// handling events. The core's calls into the engine are wrapped at link time
// (tests/CMakeLists.txt), so a call made from the window thread is counted.
// Each tool is driven twice, once with the jobs run at once and once threaded:
// the windows must show the same answers, and the threaded run must not have
// reached the engine from the window thread.
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

#include "frmAdder.h"
#include "frmConvert.h"
#include "engine_watch.h"
#include "frmModule.h"
#include "frmSumTable.h"
#include "tools_fixture.h"

using namespace nomix::gui;

namespace {

template <class T = QLineEdit> T *child(QWidget &w, const QString &name) { return w.findChild<T *>(name); }

// The texts of the numbered controls name0, name1, ... that exist.
QStringList numbered(QWidget &w, const QString &name) {
    QStringList texts;
    for (int i = 0; QLineEdit *e = child(w, name + QString::number(i)); ++i) texts << e->text();
    return texts;
}

QStringList sum(toolstest::RecordingHost &) {
    frmSumTable w;
    w.showSample(0);
    QStringList out;
    auto *grid = child<QTableWidget>(w, "grdSumtable");
    for (int r = 0; r < grid->rowCount(); ++r) out << grid->item(r, 2)->text();
    return out << child<QLabel>(w, "lblTotal")->text() << child<QLabel>(w, "lblValue")->text();
}

QStringList convert(toolstest::RecordingHost &) {
    frmConvert w;
    w.showSample(0);
    QStringList out = numbered(w, "txtNumber");
    child(w, "txtNumber1")->setText("42.195");
    w.btnConvert_Click();
    return out << numbered(w, "txtNumber");
}

QStringList add(toolstest::RecordingHost &host) {
    frmAdder w;
    QStringList out;
    for (const char *value : {"12.50", "3*4.20", "-5", "undefinedName+1"}) {
        child(w, "txtValue")->setText(value);
        w.btnAdd_Click();
        out << child<QLabel>(w, "lblTotal")->text();
    }
    for (const std::string &box : host.boxes) out << QString::fromStdString(box);
    w.btnClear_Click();
    return out << child<QLabel>(w, "lblTotal")->text();
}

QStringList solve(toolstest::RecordingHost &) {
    frmModule w;
    w.showSample(0);
    QStringList out = numbered(w, "txtNumber");
    w.selectModule("Ohm's Law");
    child(w, "txtNumber0")->setText("2");
    child(w, "txtNumber1")->setText("5");
    w.btnSolve_Click();
    return out << numbered(w, "txtNumber");
}

// Edit mode: Continue makes the fields of a formula typed.
QStringList fields(toolstest::RecordingHost &) {
    frmModule w;
    w.showSample(1);
    child(w, "txtFormula")->setText("area = width*height + margin");
    w.btnSolve_Click();
    QStringList out = numbered(w, "txtCaption");
    w.btnCancel_Click();
    return out;
}

struct Tool {
    const char *name;
    QStringList (*drive)(toolstest::RecordingHost &);
    const char *shown;  // a text the answers hold, so an empty run cannot pass
};
const Tool kTools[] = {
    {"summation table", sum, "1.54976773116654"},
    {"converter", convert, "42.1648128"},
    {"adder", add, "Undefined"},
    {"module solve", solve, "$1,580.17"},
    {"module fields", fields, "margin"},
};

} // namespace

class TestEngineThread : public QObject {
    Q_OBJECT
    toolstest::ToolApplication env;

    QStringList run(const Tool &tool) {
        env.host.boxes.clear();
        return tool.drive(env.host);
    }

private slots:
    void cleanup() { DesignWindow::setEngineJobRunner({}); }

    void sameAnswersWithTheEngineOnItsOwnThread_data() {
        QTest::addColumn<int>("tool");
        for (int i = 0; i < int(std::size(kTools)); ++i) QTest::newRow(kTools[i].name) << i;
    }

    void sameAnswersWithTheEngineOnItsOwnThread() {
        QFETCH(int, tool);
        QStringList atOnce, threaded;
        {
            Watch watch;  // without a program the jobs run right here, which the wrappers see
            atOnce = run(kTools[tool]);
            QVERIFY(windowThreadCalls > 0);
        }
        DesignWindow::setEngineJobRunner(runOnItsOwnThread);
        {
            Watch watch;
            threaded = run(kTools[tool]);
            QCOMPARE(windowThreadCalls.load(), 0);
            QVERIFY(jobThreadCalls > 0);
        }
        QCOMPARE(threaded, atOnce);
        QVERIFY2(atOnce.join('|').contains(kTools[tool].shown), qPrintable(atOnce.join('|')));
    }
};

QTEST_MAIN(TestEngineThread)
#include "tst_tools_enginethread.moc"
