// The summation table window through its controls: the calc button's state,
// Enter from field to field, a run, the ".sum" file and the session records.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "frmSumTable.h"
#include "tools_fixture.h"

using nomix::gui::frmSumTable;
using nomix::gui::RecordReader;

class TestSumTable : public QObject {
    Q_OBJECT
    toolstest::ToolApplication env;

    static QLineEdit *field(frmSumTable &w, const char *name) { return w.findChild<QLineEdit *>(name); }
    static QString label(frmSumTable &w, const char *name) { return w.findChild<QLabel *>(name)->text(); }
    static void fill(frmSumTable &w, const QStringList &texts) {
        const char *names[] = {"txtSumInput", "txtVar", "txtFrom", "txtTo", "txtStep"};
        for (int i = 0; i < 5; ++i) field(w, names[i])->setText(texts[i]);
    }

private slots:
    void init() { env.host.boxes.clear(); }

    void startsWithStepOneAndTheIndependentVariable() {
        frmSumTable w;
        QCOMPARE(field(w, "txtStep")->text(), QString("1"));
        QCOMPARE(field(w, "txtVar")->text(), QString("x"));
        QVERIFY(!w.findChild<QPushButton *>("btnCalculate")->isEnabled());
        fill(w, {"x", "x", "1", "2", "1"});
        QVERIFY(w.findChild<QPushButton *>("btnCalculate")->isEnabled());
    }

    void enterWalksTheFieldsAndRunsFromVar() {
        frmSumTable w;
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        field(w, "txtSumInput")->setFocus();
        QTest::keyClicks(field(w, "txtSumInput"), "x^2");
        QTest::keyClick(field(w, "txtSumInput"), Qt::Key_Return);
        QVERIFY(field(w, "txtFrom")->hasFocus());
        fill(w, {"x^2", "x", "1", "3", ""});  // Step empty: the button is off
        QVERIFY(!w.findChild<QPushButton *>("btnCalculate")->isEnabled());
        field(w, "txtStep")->setText("1");
        QTest::keyClick(field(w, "txtVar"), Qt::Key_Return);
        auto *grid = w.findChild<QTableWidget *>("grdSumtable");
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->item(2, 0)->text() + " " + grid->item(2, 1)->text() + " " + grid->item(2, 2)->text(),
                 QString("3 9 14"));
        QCOMPARE(label(w, "lblTotal"), QString("14"));
        QCOMPARE(label(w, "lblValue"), QString("9"));
        toolstest::picture(w, "sum-test");
    }

    void enterInVarRunsEvenWhileTheButtonIsOff() {
        frmSumTable w;
        fill(w, {"1", "x", "1", "4", ""});  // empty step counts as 0: refused with a message
        QTest::keyClick(field(w, "txtVar"), Qt::Key_Return);
        QCOMPARE(env.host.boxes.size(), size_t(1));
        field(w, "txtStep")->setText("-1");  // from below to with a negative step: no rows
        QTest::keyClick(field(w, "txtVar"), Qt::Key_Return);
        QCOMPARE(w.findChild<QTableWidget *>("grdSumtable")->rowCount(), 0);
        QCOMPARE(label(w, "lblTotal"), QString("0"));
    }

    void aFailingTermKeepsThePreviousTotals() {
        frmSumTable w;
        fill(w, {"x", "x", "1", "2", "1"});
        w.btnCalculate_Click();
        fill(w, {"1/(x-2)+", "x", "1", "3", "1"});
        w.btnCalculate_Click();
        QVERIFY(!env.host.boxes.empty());
        QCOMPARE(label(w, "lblTotal"), QString("3"));
    }

    void fileSessionAndScriptNames() {
        frmSumTable w;
        fill(w, {"1/n^2", "n", "1", "10", "1"});
        QVERIFY(w.saveFile("t.sum", {}));
        QCOMPARE(w.sessionRecords(), (QStringList{"1/n^2", "n", "1", "10", "1"}));
        frmSumTable opened;
        QVERIFY(opened.openFile("t.sum"));
        QCOMPARE(opened.sessionRecords(), w.sessionRecords());
        frmSumTable restored;
        RecordReader reader(w.sessionRecords());
        restored.restoreSession(reader);
        QCOMPARE(restored.sessionRecords(), w.sessionRecords());
        QCOMPARE(w.scriptControl("SUMEQ", -1), field(w, "txtSumInput"));
        QCOMPARE(w.scriptControl("SUMFROM", -1), field(w, "txtFrom"));
        QCOMPARE(w.scriptControl("SUMTO", -1), field(w, "txtTo"));
        QVERIFY(!opened.openFile("missing.sum"));
    }
};

QTEST_MAIN(TestSumTable)
#include "tst_tools_sum.moc"
