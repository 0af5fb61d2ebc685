// The calculator window driven as a user drives it: typing, Enter, the
// buttons, the recall list, clicks on answer lines, and the solver and
// integrator modes.
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "guitest.h"

using namespace guitest;

class CalculatorWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<Session> s;

private slots:
    void initTestCase() { s = start(); }
    void init() { QTest::mouseClick(s->main->findChild<QPushButton *>(QStringLiteral("btnClearAll")), Qt::LeftButton); }

    // input -> the lines the answer list shows
    void answers_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("sum") << "2+3" << QStringList{"Input: 2+3", "Answer: 5"};
        QTest::newRow("implicit product") << "b = 4" << QStringList{"Input: b = 4", "Answer: Ok"};
        QTest::newRow("text") << "'ab' * 3" << QStringList{"Input: 'ab' * 3", "Answer: ababab"};
        QTest::newRow("syntax error") << "2+*" << QStringList{"Input: 2+*"};
    }
    void answers() {
        QFETCH(QString, input);
        QFETCH(QStringList, expected);
        calculate(s->main, input);
        QStringList shown = shownLines(s->main);
        QVERIFY2(shown.size() >= expected.size(), qPrintable(shown.join('|')));
        QCOMPARE(shown.mid(0, expected.size()), expected);
        QCOMPARE(inputLine(s->main)->currentText(), QString());
    }

    // An assigned name is defined on the fly and the answer variable follows.
    void assignmentAndLast() {
        calculate(s->main, "q = 6");
        calculate(s->main, "q * 7");
        calculate(s->main, "last + 1");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 43"));
    }

    // Newest first; Up in the input line walks back through earlier inputs.
    void recallList() {
        calculate(s->main, "1+1");
        calculate(s->main, "2+2");
        QComboBox *box = inputLine(s->main);
        QCOMPARE(box->itemText(0), QStringLiteral("2+2"));
        QCOMPARE(box->itemText(1), QStringLiteral("1+1"));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->currentText(), QStringLiteral("2+2"));
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->currentText(), QStringLiteral("1+1"));
    }

    // A click on an answer line copies the text after ": " into the input line.
    void clickOnAnswer() {
        calculate(s->main, "10/4");
        QListWidget *list = answerList(s->main);
        QListWidgetItem *answer = list->findItems(QStringLiteral("Answer: 2.5"), Qt::MatchExactly).value(0);
        QVERIFY(answer);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(answer).center());
        QCOMPARE(inputLine(s->main)->currentText(), QStringLiteral("2.5"));
    }

    void clearButtons() {
        calculate(s->main, "3*3");
        inputLine(s->main)->setEditText(QStringLiteral("unfinished"));
        QTest::mouseClick(s->main->findChild<QPushButton *>(QStringLiteral("btnClear")), Qt::LeftButton);
        QCOMPARE(inputLine(s->main)->currentText(), QString());
        QVERIFY(answerList(s->main)->count() > 0);
        QTest::mouseClick(s->main->findChild<QPushButton *>(QStringLiteral("btnClearAll")), Qt::LeftButton);
        QCOMPARE(answerList(s->main)->count(), 0);
        QCOMPARE(inputLine(s->main)->count(), 0);
    }

    // The solver mode: three boxes, the rewritten call, the roots listed.
    void solverMode() {
        choose(s->main, "mnuSolver");
        auto *calc = s->main->calculatorWindow();
        QCOMPARE(calc->windowTitle(), QStringLiteral("Equation Solver"));
        QVERIFY(calc->findChild<QLineEdit *>(QStringLiteral("txtSolve2"))->isVisible());
        QVERIFY(!answerList(s->main)->isVisible());
        QCOMPARE(calc->findChild<QLineEdit *>(QStringLiteral("txtSolve0"))->text(), QStringLiteral("-100000000"));
        calc->findChild<QLineEdit *>(QStringLiteral("txtSolve0"))->setText(QStringLiteral("-10"));
        calc->findChild<QLineEdit *>(QStringLiteral("txtSolve1"))->setText(QStringLiteral("10"));
        calculate(s->main, "x^2-4");
        QCOMPARE(calc->windowTitle(), QStringLiteral("Expression Evaluator"));
        QVERIFY(answerList(s->main)->isVisible());
        QStringList shown = shownLines(s->main);
        QCOMPARE(shown.value(0), QStringLiteral("Input: Solve x^2-4,-10,10,x"));
        QVERIFY2(shown.contains(QStringLiteral("-2")) && shown.contains(QStringLiteral(" 2")), qPrintable(shown.join('|')));
    }

    void integratorMode() {
        choose(s->main, "mnuIntegration");
        auto *calc = s->main->calculatorWindow();
        QCOMPARE(calc->windowTitle(), QStringLiteral("Numeric Integration"));
        QCOMPARE(calc->findChild<QLineEdit *>(QStringLiteral("txtSolve3"))->text(), QStringLiteral("100"));
        calc->findChild<QLineEdit *>(QStringLiteral("txtSolve0"))->setText(QStringLiteral("0"));
        calc->findChild<QLineEdit *>(QStringLiteral("txtSolve1"))->setText(QStringLiteral("3"));
        calculate(s->main, "x^2");
        QCOMPARE(shownLines(s->main), (QStringList{"Input: Integ(x^2,0,3,x,100)", "Answer: 9"}));
    }

    // The options bar's bases: Bin/Hex/Oct lines only for 0 <= value < 65536.
    void baseLines() {
        auto *bin = s->main->findChild<QCheckBox *>(QStringLiteral("chkBin"));
        auto *hex = s->main->findChild<QCheckBox *>(QStringLiteral("chkHex"));
        QTest::mouseClick(bin, Qt::LeftButton, {}, QPoint(4, bin->height() / 2));
        QTest::mouseClick(hex, Qt::LeftButton, {}, QPoint(4, hex->height() / 2));
        calculate(s->main, "2.5");
        calculate(s->main, "65536");
        QCOMPARE(shownLines(s->main), (QStringList{"Input: 2.5", "Dec: 2.5", "Bin: 10", "Hex: 2", "Input: 65536", "Dec: 65536"}));
        QTest::mouseClick(bin, Qt::LeftButton, {}, QPoint(4, bin->height() / 2));
        QTest::mouseClick(hex, Qt::LeftButton, {}, QPoint(4, hex->height() / 2));
    }

    // The answer-list limit is an expression: 2*3 lines at most.
    void answerLimit() {
        s->program->engine().run([] { nomix::currentApplication()->calculator().settings().answerLimit = "2*3"; });
        for (int i = 0; i < 5; ++i) calculate(s->main, QString::number(i));
        QVERIFY(answerList(s->main)->count() <= 6);
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 4"));
        s->program->engine().run([] { nomix::currentApplication()->calculator().settings().answerLimit = "200"; });
    }

    // A script of LOAD runs after its answer.
    void loadScript() {
        QFile f(QDir::current().filePath(QStringLiteral("t.nx")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("zz = 41\r\nzz = zz + 1\r\n");
        f.close();
        calculate(s->main, "LOAD 't.nx'");
        calculate(s->main, "LOAD 'missing.nx'");
        calculate(s->main, "zz");
        QCOMPARE(shownLines(s->main), (QStringList{"Input: LOAD 't.nx'", "Answer: Ok", "Input: LOAD 'missing.nx'",
                                                  "Answer: File not found", "Input: zz", "Answer: 42"}));
    }

    // Esc stops an endless calculation; the window answers again afterwards.
    void escapeStops() {
        auto *calc = s->main->calculatorWindow();
        bool busyCursor = false, stopEnabled = false;
        QTimer::singleShot(400, [&] {
            busyCursor = QGuiApplication::overrideCursor() != nullptr;
            stopEnabled = calc->findChild<QPushButton *>(QStringLiteral("btnStop"))->isEnabled();
            QTest::keyClick(calc->inputLine()->lineEdit(), Qt::Key_Escape);
        });
        calculate(s->main, "nx_Loop(1, 1, 1)");
        QVERIFY(busyCursor);
        QVERIFY(stopEnabled);
        QTRY_VERIFY(!QGuiApplication::overrideCursor());
        calculate(s->main, "1+1");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 2"));
    }
};

QTEST_MAIN(CalculatorWindow)
#include "tst_calculator.moc"
