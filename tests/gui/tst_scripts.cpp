// Scripts driving the windows through the natives: input, keys, focus,
// buttons, favourites, the reminder, the timer, waiting for input, the tutor,
// and closing the main window while a script waits.
#include <QAbstractItemView>
#include <QPointer>
#include <QRadioButton>
#include <QToolBar>
#include <QToolButton>

#include "guitest.h"
#include "designwindow.h"
#include "tutorpanel.h"

using namespace guitest;

class Scripts : public QObject {
    Q_OBJECT
    std::unique_ptr<Session> s;

    // Runs a script file made of these lines through LOAD, as a user would.
    void runScript(const QStringList &lines) {
        QFile f(QDir::current().filePath(QStringLiteral("script.nx")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
        f.close();
        calculate(s->main, QStringLiteral("LOAD 'script.nx'"));
    }
    QString answerOf(const QString &expr) {
        calculate(s->main, expr);
        return shownLines(s->main).last();
    }

private slots:
    void initTestCase() {
        s = start();
        QApplication::setActiveWindow(s->main);
    }

    // SetInput fills the line; SendKey's {ENTER} calculates it.
    void inputAndEnter() {
        runScript({"SetInput('Expression', '6*7', 0)", "SendKey('Expression', '{ENTER}')"});
        QTRY_COMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 42"));
    }

    // Plain text of SendKey is appended; the parameter boxes are FROM and TO.
    void sendKeyTextAndBoxes() {
        runScript({"SetInput('From', '-5', 0)", "SetInput('To', '5', 0)", "SetInput('Expression', '10-', 0)",
                   "SendKey('Expression', '3')"});
        auto *calc = s->main->calculatorWindow();
        QCOMPARE(calc->findChild<QLineEdit *>(QStringLiteral("txtSolve0"))->text(), QStringLiteral("-5"));
        QCOMPARE(calc->findChild<QLineEdit *>(QStringLiteral("txtSolve1"))->text(), QStringLiteral("5"));
        QCOMPARE(calc->inputLine()->currentText(), QStringLiteral("10-3"));
        QTest::keyClick(calc->inputLine()->lineEdit(), Qt::Key_Return);
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 7"));
    }

    void focusAndDropDown() {
        runScript({"SetFocus('Format')"});
        QCOMPARE(QApplication::focusWidget(), s->main->findChild<QWidget *>(QStringLiteral("cmbFormat")));
        runScript({"SetFocus('Expression')"});
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus == s->main->calculatorWindow()->inputLine() || focus == s->main->calculatorWindow()->inputLine()->lineEdit());
    }

    void programmableButtons() {
        runScript({"SetP_Button(2, 'Go', 'Runs the go script')"});
        auto *b = s->main->findChild<QToolButton *>(QStringLiteral("btnProg2"));
        QCOMPARE(b->text(), QStringLiteral("Go"));
        QCOMPARE(b->toolTip(), QStringLiteral("Runs the go script"));
        runScript({"HideP_Button(2)"});
        QVERIFY(!s->main->findChild<QAction *>(QStringLiteral("actProg2"))->isVisible());
        // P_BUTTON+1 is the first programmable button: {PUSH} presses it.
        runScript({"clicks = 0", "Def Syntax: P_Button1 ::= SetVar(clicks, clicks + 1)", "SendKey('P_Button+1', '{PUSH}')"});
        QTRY_COMPARE(answerOf(QStringLiteral("clicks")), QStringLiteral("Answer: 1"));
    }

    void favorites() {
        runScript({"favValue = 0", "SetFavorite(3, 'Set to seven', 'SetVar(favValue, 7)')"});
        QAction *entry = s->main->findChild<QAction *>(QStringLiteral("mnuFavorite3"));
        QCOMPARE(entry->text(), QStringLiteral("Set to seven"));
        entry->trigger();
        QTRY_COMPARE(answerOf(QStringLiteral("favValue")), QStringLiteral("Answer: 7"));
    }

    // The reminder starts 20 blanks in and moves left with each tick.
    void reminder() {
        runScript({"SetReminder('Hello')"});
        auto *label = s->main->findChild<QLabel *>(QStringLiteral("lblReminder"));
        QCOMPARE(label->text(), QString(20, QLatin1Char(' ')) + QStringLiteral("Hello"));
        s->main->ReminderTimer_Timer();
        QTRY_COMPARE(label->text(), QString(19, QLatin1Char(' ')) + QStringLiteral("Hello"));
    }

    // TimerInterval sets the user timer; Timer_Event runs on each tick.
    void userTimer() {
        runScript({"ticks = 0", "Def Syntax: Timer_Event ::= SetVar(ticks, ticks + 1)"});
        QCOMPARE(answerOf(QStringLiteral("TimerInterval(0.05)")), QStringLiteral("Answer: 50"));
        QCOMPARE(answerOf(QStringLiteral("TimerInterval()")), QStringLiteral("Answer: 50"));
        QTest::qWait(400);
        QCOMPARE(answerOf(QStringLiteral("TimerInterval(0)")), QStringLiteral("Answer: 0"));
        calculate(s->main, QStringLiteral("ticks > 2"));
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 1"));
    }

    // The tutor speaks in its panel and its status shows in the status bar.
    void tutor() {
        runScript({"Agent_Routine(1, 'Welcome to the tutorial')", "Agent_Routine(3, 'Step 1 of 3')"});
        QVERIFY(s->main->tutorPanel()->isVisible());
        QCOMPARE(s->main->tutorPanel()->balloonText(), QStringLiteral("Welcome to the tutorial"));
        QCOMPARE(s->main->tutorStatus(), QStringLiteral("Step 1 of 3"));
    }

    // WaitForInput keeps the windows live until the user calculates the line.
    void waitForInput() {
        QString statusDuring;
        QTimer::singleShot(400, this, [&] {
            statusDuring = s->main->tutorStatus();
            QTest::mouseClick(s->main->findChild<QPushButton *>(QStringLiteral("btnCalc")), Qt::LeftButton);
        });
        runScript({"waited = 0", "SetInput('Expression', '20+22', 0)", "WaitForInput()", "SetVar(waited, 1)"});
        QCOMPARE(statusDuring, QStringLiteral("The tutor is waiting for you to click Calculate."));
        QCOMPARE(s->main->tutorStatus(), QStringLiteral("Step 1 of 3"));
        QVERIFY(shownLines(s->main).contains(QStringLiteral("Answer: 42")));
        QCOMPARE(answerOf(QStringLiteral("waited")), QStringLiteral("Answer: 1"));
    }

    // SendKeys types into the focused control in the classic notation.
    void sendKeysNotation() {
        runScript({"SetFocus('Expression')", "SetInput('Expression', '', 0)", "SendKeys('{(}1{+}2{)}*3~')"});
        QTRY_COMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 9"));
    }

    void dropDownAndResets() {
        calculate(s->main, QStringLiteral("ShowDropDown('Format')"));
        auto *format = s->main->findChild<QComboBox *>(QStringLiteral("cmbFormat"));
        QTRY_VERIFY(format->view()->isVisible());
        calculate(s->main, QStringLiteral("ShowDropDown('Format', 0)"));
        QTRY_VERIFY(!format->view()->isVisible());
        choose(s->main, "mnuHex");
        choose(s->main, "mnuDegree");
        runScript({"ResetOptions()", "SetInput('Expression', 'left over', 0)", "Form_Reset()"});
        QVERIFY(!s->main->findChild<QCheckBox *>(QStringLiteral("chkHex"))->isChecked());
        QVERIFY(s->main->findChild<QRadioButton *>(QStringLiteral("optRad"))->isChecked());
        QCOMPARE(inputLine(s->main)->currentText(), QString());
        QVERIFY(s->main->calculatorWindow()->parentWidget()->isMaximized());
    }

    // The editor is the user's: $VISUAL here, given the file of the program's directory.
    void editor() {
        qputenv("VISUAL", "touch");
        QFile::remove(QDir::current().filePath(QStringLiteral("notes.txt")));
        calculate(s->main, QStringLiteral("Notepad('notes.txt') > 0"));
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 1"));
        QTRY_VERIFY(QFile::exists(QDir::current().filePath(QStringLiteral("notes.txt"))));
        int boxes = int(s->boxes.texts.size());
        calculate(s->main, QStringLiteral("Notepad('/etc/passwd')"));
        QTRY_VERIFY(s->boxes.texts.size() > boxes);
        QVERIFY(s->boxes.texts.last().contains(QStringLiteral("You may only open a file in the Nomix directory")));
    }

    // A tool's control resolves once the tool exists; before that no window pops up.
    void toolControls() {
        runScript({"SetInput('Value', '5', 0)"});
        std::unique_ptr<DesignWindow> converter(createToolWindow(QStringLiteral("frmConvert")));
        QWidget *open = s->main->findChild<QWidget *>(QStringLiteral("frmConvert"));
        if (!converter) {
            QVERIFY(!open);
            return;
        }
        QVERIFY(open);
        QWidget *value = static_cast<DesignWindow *>(open)->scriptControl(QStringLiteral("VALUE"), -1);
        QVERIFY(value);
        QCOMPARE(value->property("text").toString() + value->property("currentText").toString(), QStringLiteral("5"));
    }

    void geometryNatives() {
        calculate(s->main, QStringLiteral("Form_Width() > 0"));
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 1"));
    }

    // The user closes the calculator while a script it started waits: the script
    // ends (StopWait) and nothing touches the window that is gone.
    void closeCalculatorDuringWait() {
        QPointer<QWidget> calc = s->main->calculatorWindow();
        QTimer::singleShot(300, this, [&] {
            calc->parentWidget()->close();
            nomix::appVariables().stopWait = 1;
        });
        runScript({"SetInput('Expression', '1+1', 0)", "WaitForInput()"});
        QTRY_VERIFY(calc.isNull());
        choose(s->main, "mnuCalculator");
        calculate(s->main, QStringLiteral("2+2"));
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 4"));
    }

    // Closing while a script waits: refused now, done right after the wait ends.
    void closeDuringWait() {
        QPointer<MDInomix> main = s->main;
        bool closedAtOnce = true;
        QTimer::singleShot(300, this, [&] { closedAtOnce = main->close(); });
        runScript({"SetInput('Expression', 'pending', 0)", "WaitForInput()"});
        QVERIFY(!closedAtOnce);
        QTRY_VERIFY(main.isNull());
        // New Session: a fresh main window with the calculator maximised.
        s->main = s->program->openMainWindow();
        QPointer<MDInomix> old = s->main;
        choose(s->main, "mnuNewSession");
        QTRY_VERIFY(old.isNull() && s->program->mainWindow());
        s->main = s->program->mainWindow();
        QVERIFY(s->main->calculatorWindow()->parentWidget()->isMaximized());
        calculate(s->main, QStringLiteral("1+1"));
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 2"));
    }
};

QTEST_MAIN(Scripts)
#include "tst_scripts.moc"
