// The adder tape window driven through its controls' object names: entries by
// Enter, a failing entry, clearing, the ".add" file and the session records.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "frmAdder.h"
#include "tools_fixture.h"

using nomix::gui::frmAdder;
using nomix::gui::RecordReader;

class TestAdder : public QObject {
    Q_OBJECT
    toolstest::ToolApplication env;

    static QLineEdit *field(frmAdder &w, const char *name) { return w.findChild<QLineEdit *>(name); }
    static QString total(frmAdder &w) { return w.findChild<QLabel *>("lblTotal")->text(); }
    static void enter(frmAdder &w, const char *field, const QString &text) {
        QLineEdit *edit = w.findChild<QLineEdit *>(field);
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    static QStringList values(frmAdder &w) {
        auto *grid = w.findChild<QTableWidget *>("grdAdder");
        QStringList v;
        for (int r = 0; r < grid->rowCount(); ++r) v << grid->item(r, 0)->text();
        return v;
    }

private slots:
    void init() { env.host.boxes.clear(); }

    void entriesAddUpInTheAdderFormat() {
        frmAdder w;
        w.findChild<QLineEdit *>("txtComment")->setText("ten");
        enter(w, "txtValue", "10");
        enter(w, "txtValue", "2*3");
        enter(w, "txtValue", "");
        QCOMPARE(total(w), QString("$16.00"));
        QCOMPARE(values(w), (QStringList{"10", "2*3", ""}));
        QCOMPARE(w.findChild<QTableWidget *>("grdAdder")->item(0, 1)->text(), QString("ten"));
        toolstest::picture(w, "adder-test");
    }

    void aFailingEntryKeepsTheTotalAndBecomesCurrent() {
        frmAdder w;
        enter(w, "txtValue", "4");
        enter(w, "txtValue", "1/");
        QCOMPARE(total(w), QString("$4.00"));
        QVERIFY(!env.host.boxes.empty());
        QCOMPARE(int(w.tape().current()), 1);
        QCOMPARE(field(w, "txtValue")->text(), QString("1/"));
        field(w, "txtValue")->setText("1/2");  // corrected in place
        QTest::keyClick(field(w, "txtValue"), Qt::Key_Return);
        QCOMPARE(total(w), QString("$4.50"));
        QCOMPARE(values(w), (QStringList{"4", "1/2", ""}));
    }

    void anOverflowIsReportedNotAdded() {
        frmAdder w;
        enter(w, "txtValue", "1E308");
        const QString before = total(w);
        enter(w, "txtValue", "1E308");
        QCOMPARE(total(w), before);
        QVERIFY(env.host.boxes.size() == 1 && env.host.boxes[0] == "Overflow");
    }

    void clearLeavesOnlyTheFreeRow() {
        frmAdder w;
        enter(w, "txtValue", "7");
        w.findChild<QPushButton *>("btnClear")->click();
        QCOMPARE(values(w), QStringList{""});
        QCOMPARE(total(w), QString("$0.00"));
    }

    void gridKeysInsertAndRemoveRows() {
        frmAdder w;
        enter(w, "txtValue", "1");
        enter(w, "txtValue", "2");
        auto *grid = w.findChild<QTableWidget *>("grdAdder");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(1, 0)).center());
        QTest::keyClick(grid, Qt::Key_Insert);
        QCOMPARE(values(w), (QStringList{"1", "", "2", ""}));
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(values(w), (QStringList{"1", "2", ""}));
    }

    void fileAndSessionGiveTheTapeBack() {
        frmAdder w;
        w.findChild<QLineEdit *>("txtComment")->setText("lunch");
        enter(w, "txtValue", "12.5");
        enter(w, "txtValue", "3");
        QVERIFY(w.saveFile("tape.add", {}));
        QFile file("tape.add");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("12.5\tlunch\r\n3\t\r\n\t\r\n"));

        frmAdder opened;
        QVERIFY(opened.openFile("tape.add"));
        QCOMPARE(values(opened), (QStringList{"12.5", "3", ""}));
        QCOMPARE(total(opened), QString("$15.50"));

        const QStringList records = w.sessionRecords();
        QCOMPARE(records, (QStringList{"", "", "3", "12.5\tlunch", "3\t", "\t"}));
        frmAdder restored;
        RecordReader reader(records);
        restored.restoreSession(reader);
        QCOMPARE(values(restored), (QStringList{"12.5", "3", ""}));
        QCOMPARE(total(restored), QString("$15.50"));
    }

    void scriptsNameTheValueAndCommentFields() {
        frmAdder w;
        QCOMPARE(w.scriptControl("ADDER", -1), field(w, "txtValue"));
        QCOMPARE(w.scriptControl("COMMENT", -1), field(w, "txtComment"));
        QCOMPARE(w.scriptControl("SUMEQ", -1), nullptr);
    }
};

QTEST_MAIN(TestAdder)
#include "tst_tools_adder.moc"
