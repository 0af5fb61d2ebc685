// The modules window through its controls: the shipped modules, solving for
// the unknown, constraint messages, defining a module from its formula (saved
// to "nomix.usm"), importing, and the session records.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "frmModule.h"
#include "tools/modulefile.h"
#include "tools_fixture.h"

using nomix::gui::frmModule;
using nomix::gui::RecordReader;

class TestModule : public QObject {
    Q_OBJECT
    toolstest::ToolApplication env;

    template <class T = QLineEdit> static T *child(QWidget &w, const QString &name) {
        return w.findChild<T *>(name);
    }
    static QString value(frmModule &w, int i) { return child(w, QStringLiteral("txtNumber%1").arg(i))->text(); }
    static void setValue(frmModule &w, int i, const QString &text) {
        child(w, QStringLiteral("txtNumber%1").arg(i))->setText(text);
    }

private slots:
    void init() { env.host.boxes.clear(); env.host.answer = 1; }

    void solvesOhmsLawForEachField() {
        frmModule w;
        QVERIFY(w.modules().size() >= 4);
        QVERIFY(w.selectModule("Ohm's Law"));
        QCOMPARE(child(w, "txtFormula")->text(), QString("V = I*R"));
        QVERIFY(child<QRadioButton>(w, "optUnknown2")->isChecked());  // the left side
        setValue(w, 0, "2");
        setValue(w, 1, "5");
        child<QPushButton>(w, "btnSolve")->click();
        QCOMPARE(value(w, 2), QString("10"));
        child<QRadioButton>(w, "optUnknown0")->click();
        QCOMPARE(value(w, 0), QString());
        QVERIFY(child(w, "txtNumber0")->isReadOnly());
        QVERIFY(!child(w, "txtNumber2")->isReadOnly());
        setValue(w, 2, "12");
        child<QPushButton>(w, "btnSolve")->click();
        QCOMPARE(value(w, 0), QString("2.4"));
        child<QRadioButton>(w, "optUnknown1")->click();  // a solved value stays
        QCOMPARE(value(w, 0), QString("2.4"));
        child<QRadioButton>(w, "optUnknown2")->click();  // an unsolved unknown gets its text back
        QCOMPARE(value(w, 1), QString("5"));
        toolstest::picture(w, "module-test");
    }

    // What a script does: the module named, values typed, the unknown and Solve pushed.
    void scriptsSolveByControlNames() {
        frmModule w;
        qobject_cast<QComboBox *>(w.scriptControl("MODULE", -1))->setEditText("Circle");
        QCOMPARE(child(w, "txtFormula")->text(), QString("Area = pi*Radius^2"));
        QTest::keyClick(w.scriptControl("UNKNOWN", 0), Qt::Key_Space);
        qobject_cast<QLineEdit *>(w.scriptControl("NUMBER", 1))->setText("3.14159265358979");
        QTest::keyClick(w.scriptControl("USMSOLVE", -1), Qt::Key_Space);
        QVERIFY(qAbs(value(w, 0).toDouble() - 1) < 1e-9);
        QCOMPARE(w.sessionRecords().mid(0, 4), (QStringList{"Circle", "0", "Circle", "Area = pi*Radius^2"}));
        QCOMPARE(w.sessionRecords().last(), QString("3.14159265358979"));
    }

    void missingValuesAndBrokenConstraintsAreSaid() {
        frmModule w;
        QVERIFY(w.selectModule("Ohm's Law"));
        setValue(w, 0, "2");
        child<QPushButton>(w, "btnSolve")->click();
        QCOMPARE(env.host.boxes, std::vector<std::string>{"Missing value"});
        env.host.boxes.clear();
        child<QRadioButton>(w, "optUnknown1")->click();  // R is constrained to 0..100000000
        setValue(w, 0, "-2");
        setValue(w, 2, "10");
        child<QPushButton>(w, "btnSolve")->click();  // no root in the range: one box, the solver's
        QCOMPARE(env.host.boxes.size(), size_t(1));
        QVERIFY(QString::fromStdString(env.host.boxes[0]).contains("Solution not found"));

    }

    void leavingAFieldChecksItsConstraints() {
        frmModule w;
        QVERIFY(w.selectModule("Ohm's Law"));
        child<QRadioButton>(w, "optUnknown0")->click();
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        child(w, "txtNumber1")->setFocus();
        child(w, "txtNumber1")->setText("-5");
        env.host.answer = 7;  // No: keep the entry
        child(w, "txtNumber2")->setFocus();
        QCOMPARE(env.host.boxes.size(), size_t(1));
        QVERIFY(QString::fromStdString(env.host.boxes[0]).startsWith(
            "The value you have entered does not satisfy the following constraint(s): 0..100000000"));
    }

    void defineSaveAndUseANewModule() {
        frmModule w;
        const size_t before = w.modules().size();
        auto *list = child<QComboBox>(w, "cmbModules");
        list->setCurrentIndex(list->count() - 1);  // {Create a New Module}
        QVERIFY(w.editing());
        QCOMPARE(child(w, "txtName")->text(), QString("{Enter a name for the module here}"));
        QCOMPARE(child(w, "txtFormula")->text(), QString("{Enter your formula here}"));
        child(w, "txtName")->setText("Rectangle");
        child(w, "txtFormula")->setText("area = length*width");
        child<QPushButton>(w, "btnSolve")->click();  // Continue: the fields
        QVERIFY(child(w, "txtCaption2"));
        child(w, "txtCaption2")->setText("Area");
        child(w, "txtConstraints0")->setText("0..1000");
        child<QPushButton>(w, "btnEdit")->click();  // Save
        QVERIFY(!w.editing());
        QCOMPARE(w.modules().size(), before + 1);
        QCOMPARE(w.modules().back().fields[2].caption, std::string("Area"));

        std::vector<nomix::Module> onDisk;
        nomix::loadModules("nomix.usm", onDisk);
        QCOMPARE(onDisk.size(), before + 1);
        QCOMPARE(onDisk.back().fields[0].constraints, std::string("0..1000"));

        QVERIFY(w.selectModule("Rectangle"));
        setValue(w, 0, "3");
        setValue(w, 1, "4");
        child<QPushButton>(w, "btnSolve")->click();
        QCOMPARE(value(w, 2), QString("12"));

        QVERIFY(w.saveFile("copy.usm", {}));
        frmModule other;
        QVERIFY(other.openFile("copy.usm"));
        QCOMPARE(other.modules().size(), 2 * (before + 1));
        QCOMPARE(env.host.boxes.back(), std::to_string(before + 1) + " module(s) imported");
        QFile::remove("nomix.usm");
        QFile::copy(NOMIX_SOURCE_DIR "/data/nomix.usm", "nomix.usm");
    }

    void aFormulaWithoutEqualsIsRefused() {
        frmModule w;
        auto *list = child<QComboBox>(w, "cmbModules");
        list->setCurrentIndex(list->count() - 1);
        child(w, "txtFormula")->setText("length*width");
        child<QPushButton>(w, "btnSolve")->click();
        QCOMPARE(env.host.boxes.size(), size_t(1));
        child<QPushButton>(w, "btnCancel")->click();
        QVERIFY(!w.editing());
    }

    void sessionRecordsGiveTheFormBack() {
        frmModule w;
        QVERIFY(w.selectModule("Ohm's Law"));
        setValue(w, 0, "2");
        setValue(w, 1, "5");
        child<QPushButton>(w, "btnSolve")->click();
        const QStringList records = w.sessionRecords();
        QCOMPARE(records, (QStringList{"Ohm's Law", "2", "Ohm's Law", "V = I*R", "2", "5", "10"}));
        frmModule restored;
        RecordReader reader(records);
        restored.restoreSession(reader);
        QCOMPARE(restored.sessionRecords(), records);
        QCOMPARE(w.scriptControl("NUMBER", 1), child(w, "txtNumber1"));
        QCOMPARE(w.scriptControl("UNKNOWN", 0), child<QRadioButton>(w, "optUnknown0"));
        QCOMPARE(w.scriptControl("USMSOLVE", -1), child<QPushButton>(w, "btnSolve"));
        QCOMPARE(w.scriptControl("MODULE", -1), child<QComboBox>(w, "cmbModules"));
    }
};

QTEST_MAIN(TestModule)
#include "tst_tools_module.moc"
