// The converter and the table editor through their controls: a conversion by
// Enter, More and Less, the session records, the ".con" file, and the editor
// writing "nomix.cnv" back for the converter to use.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "frmConvert.h"
#include "frmConvertTable.h"
#include "tools_fixture.h"

using nomix::gui::frmConvert;
using nomix::gui::frmConvertTable;
using nomix::gui::RecordReader;

class TestConvert : public QObject {
    Q_OBJECT
    toolstest::ToolApplication env;

    template <class T = QLineEdit> static T *child(QWidget &w, const QString &name) {
        return w.findChild<T *>(name);
    }
    static void setUnit(frmConvert &w, int row, const QString &unit) {
        child<QComboBox>(w, QStringLiteral("cmbUnit%1").arg(row))->setCurrentText(unit);
    }
    static QString number(frmConvert &w, int row) {
        return child(w, QStringLiteral("txtNumber%1").arg(row))->text();
    }

private slots:
    void init() { env.host.boxes.clear(); }

    void enterConvertsFromTheRowTypedLast() {
        frmConvert w;
        QCOMPARE(w.windowTitle(), QString("Conversions"));
        QCOMPARE(child<QComboBox>(w, "cmbCategories")->currentText(), QString("Length"));
        QCOMPARE(w.NumberOfEntries(), 1);
        setUnit(w, 0, "foot");
        setUnit(w, 1, "inch");
        child(w, "txtNumber1")->setText("24");
        QTest::keyClick(child(w, "txtNumber1"), Qt::Key_Return);
        QCOMPARE(number(w, 0), QString("2"));
        child(w, "txtNumber0")->setText("3");  // typing into row 0 empties row 1
        QCOMPARE(number(w, 1), QString());
        w.findChild<QPushButton *>("btnConvert")->click();
        QCOMPARE(number(w, 1), QString("36"));
        toolstest::picture(w, "convert-test");
    }

    // What a script does: texts put into the named controls, a button pushed.
    void scriptsFillByControlNames() {
        frmConvert w;
        qobject_cast<QComboBox *>(w.scriptControl("CATEGORY", -1))->setEditText("Mass");
        QCOMPARE(w.form().category(), std::string("Mass"));
        qobject_cast<QComboBox *>(w.scriptControl("UNIT", 0))->setEditText("kilogram");
        qobject_cast<QComboBox *>(w.scriptControl("UNIT", 1))->setEditText("pound");
        qobject_cast<QLineEdit *>(w.scriptControl("VALUE", 0))->setText("0.45359237");
        QTest::keyClick(w.scriptControl("CONVERT", -1), Qt::Key_Space);
        QCOMPARE(number(w, 1), QString("1"));
        QCOMPARE(w.sessionRecords(), (QStringList{"1", "Mass", "Mass", "0.45359237", "kilogram", "1", "pound"}));
        qobject_cast<QComboBox *>(w.scriptControl("UNIT", 1))->setEditText("stone?");
        QTest::keyClick(w.scriptControl("CONVERT", -1), Qt::Key_Space);
        QCOMPARE(env.host.boxes, std::vector<std::string>{"stone? is not defined"});
    }

    void missingUnitsAreNamed() {
        frmConvert w;
        setUnit(w, 0, "foot");
        child(w, "txtNumber0")->setText("1");
        w.findChild<QPushButton *>("btnConvert")->click();
        QCOMPARE(env.host.boxes, std::vector<std::string>{"unit is missing"});
        QTest::keyClick(child(w, "txtNumber0"), Qt::Key_Return);  // not ready: Enter does nothing
        QCOMPARE(env.host.boxes.size(), size_t(1));
    }

    void moreAndLessRows() {
        frmConvert w;
        auto *less = child<QPushButton>(w, "btnRemoveEntry");
        QVERIFY(less->isHidden());
        child<QPushButton>(w, "btnAddEntry")->click();
        QCOMPARE(w.NumberOfEntries(), 2);
        QCOMPARE(child<QLabel>(w, "lblNumber2")->text(), QString("Number 3:"));
        QCOMPARE(child<QLabel>(w, "lblUnit2")->text(), QString("Unit 3:"));
        QVERIFY(!less->isHidden());
        QCOMPARE(child<QComboBox>(w, "cmbUnit2")->count(), child<QComboBox>(w, "cmbUnit0")->count());
        QCOMPARE(w.scriptControl("VALUE", 2), child(w, "txtNumber2"));
        less->click();
        QCOMPARE(w.NumberOfEntries(), 1);
        QVERIFY(less->isHidden());
        QCOMPARE(w.scriptControl("CONVERTMORE", -1), child<QPushButton>(w, "btnAddEntry"));
        QCOMPARE(w.scriptControl("UNIT", 1), child<QComboBox>(w, "cmbUnit1"));
        QCOMPARE(w.scriptControl("CATEGORY", -1), child<QComboBox>(w, "cmbCategories"));
    }

    void sessionAndFileGiveTheFormBack() {
        frmConvert w;
        child<QComboBox>(w, "cmbCategories")->setCurrentText("Temperature");
        child<QPushButton>(w, "btnAddEntry")->click();
        setUnit(w, 0, "Celsius");
        setUnit(w, 1, "Fahrenheit");
        setUnit(w, 2, "Kelvin");
        child(w, "txtNumber0")->setText("100");
        child<QPushButton>(w, "btnConvert")->click();
        const QStringList records = w.sessionRecords();
        QCOMPARE(records, (QStringList{"2", "Temperature", "Temperature", "100", "Celsius", "212", "Fahrenheit",
                                       "373.15", "Kelvin"}));
        frmConvert restored;
        RecordReader reader(records);
        restored.restoreSession(reader);
        QCOMPARE(restored.sessionRecords(), records);

        QVERIFY(w.saveFile("t.con", {}));
        frmConvert opened;
        QVERIFY(opened.openFile("t.con"));
        QCOMPARE(opened.sessionRecords(), records);
    }

    void theEditorWritesTheTableBack() {
        frmConvertTable editor;
        auto *categories = child<QComboBox>(editor, "cmbCategory");
        QCOMPARE(categories->itemText(0), QString("{Create a new category}"));
        categories->setCurrentIndex(0);
        editor.cmbCategory_Click();
        QCOMPARE(categories->currentText(), QString("{Enter new category name here}"));
        categories->setEditText("Cooking");
        child(editor, "txtUnitA")->setText("cup");
        child(editor, "txtUnitB")->setText("tablespoon");
        child(editor, "txtFormula1")->setText("x*16");
        child(editor, "txtFormula2")->setText("x/16");
        child<QPushButton>(editor, "btnAdd")->click();
        QCOMPARE(child<QTableWidget>(editor, "grdConvertTable")->rowCount(), 1);
        editor.btnSaveAll_Click();
        QVERIFY(env.host.boxes.empty());

        frmConvert w;
        child<QComboBox>(w, "cmbCategories")->setCurrentText("Cooking");
        setUnit(w, 0, "cup");
        setUnit(w, 1, "tablespoon");
        child(w, "txtNumber0")->setText("2");
        child<QPushButton>(w, "btnConvert")->click();
        QCOMPARE(number(w, 1), QString("32"));
    }

    void anUnreadableTableIsKeptBesideTheNewOne() {
        QFile original("nomix.cnv");
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray before = original.readAll();
        original.close();
        QFile odd("nomix.cnv");
        QVERIFY(odd.open(QIODevice::Append));
        odd.write("this line is no conversion\r\n");
        odd.close();
        frmConvertTable editor;
        editor.btnSaveAll_Click();
        QVERIFY(QFile::exists("nomix.cnv.bak"));
        QFile kept("nomix.cnv.bak");
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QVERIFY(kept.readAll().endsWith("this line is no conversion\r\n"));
        QVERIFY(before.size() > 0);
    }
};

QTEST_MAIN(TestConvert)
#include "tst_tools_convert.moc"
