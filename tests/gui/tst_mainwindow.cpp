// The main window's menus, bars and buttons, chosen as a user chooses them,
// and what the windows and files hold afterwards.
#include <QClipboard>
#include <QMdiArea>
#include <QPdfWriter>
#include <QPrinter>
#include <QRadioButton>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>

#include "guitest.h"
#include "helpbrowser.h"

using namespace guitest;

class MainWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<Session> s;

    QString readFile(const QString &name) {
        QFile f(QDir::current().filePath(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }

private slots:
    void initTestCase() { s = start(); }

    // Tools that come later open a window that says which tool is coming.
    void placeholders_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("form");
        QTest::newRow("converter") << "mnuConverter" << "frmConvert";
        QTest::newRow("adder") << "mnuAdder" << "frmAdder";
        QTest::newRow("modules") << "mnuModules" << "frmModule";
        QTest::newRow("summation") << "mnuSummation" << "frmSumTable";
        QTest::newRow("plot") << "mnuPlot" << "frmPlot";
        QTest::newRow("graph options") << "mnuGraphOptions" << "frmGraphOptions";
    }
    void placeholders() {
        QFETCH(QString, entry);
        QFETCH(QString, form);
        choose(s->main, entry.toLatin1());
        QWidget *w = s->main->mdiArea()->activeSubWindow()->widget();
        QCOMPARE(w->objectName(), form);
        if (auto *label = w->findChild<QLabel *>(QStringLiteral("lblComing")))
            QVERIFY(label->text().contains(QStringLiteral("later version")));
        // Opening it again shows the same window, not a second one.
        int count = int(s->main->mdiArea()->subWindowList().size());
        choose(s->main, entry.toLatin1());
        QCOMPARE(int(s->main->mdiArea()->subWindowList().size()), count);
        s->main->mdiArea()->activeSubWindow()->close();
    }

    void windowArrangement() {
        choose(s->main, "mnuMiscellaneous");
        choose(s->main, "mnuCalculator");
        choose(s->main, "mnuTileVertically");
        auto subs = s->main->mdiArea()->subWindowList();
        QCOMPARE(subs.size(), 2);
        QCOMPARE(subs[0]->geometry().top(), subs[1]->geometry().top());
        QVERIFY(!subs[0]->geometry().intersects(subs[1]->geometry()));
        choose(s->main, "mnuTileHorizontally");
        QCOMPARE(subs[0]->geometry().left(), subs[1]->geometry().left());
        QVERIFY(!subs[0]->geometry().intersects(subs[1]->geometry()));
        s->main->findChild<QWidget *>(QStringLiteral("frmOptions"))->parentWidget()->close();
    }

    // Paste into the one-line input loses the line breaks; Copy and Cut take the selection.
    void clipboard() {
        choose(s->main, "mnuCalculator");
        QComboBox *box = inputLine(s->main);
        box->setFocus();
        box->clearEditText();
        QGuiApplication::clipboard()->setText(QStringLiteral("1+\r\n2\r\n"));
        choose(s->main, "mnuPaste");
        QCOMPARE(box->currentText(), QStringLiteral("1+2"));
        // Ctrl+V in the line follows the same rule.
        box->clearEditText();
        QGuiApplication::clipboard()->setText(QStringLiteral("4*\n5"));
        QTest::keyClick(box->lineEdit(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box->currentText(), QStringLiteral("4*5"));
        box->setEditText(QStringLiteral("1+2"));
        box->lineEdit()->selectAll();
        choose(s->main, "mnuCut");
        QCOMPARE(box->currentText(), QString());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1+2"));
    }

    // The File menu follows the active window; printing to a PDF file needs no printer.
    void printToPdf() {
        calculate(s->main, "6*7");
        QCOMPARE(s->main->findChild<QAction *>(QStringLiteral("mnuPrint"))->text(), QStringLiteral("&Print Session"));
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        QString pdf = QDir::current().filePath(QStringLiteral("session.pdf"));
        printer.setOutputFileName(pdf);
        s->main->printActive(printer);
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(5) == "%PDF-");
    }

    void specialCopyPutsThePage() {
        choose(s->main, "mnuCalculator");
        choose(s->main, "mnuSpecialCopy");
        QImage page = QGuiApplication::clipboard()->image();
        QVERIFY(!page.isNull());
        QVERIFY(page.height() > page.width());
    }

    // Help > Contents opens the topic of the focused control or the active window.
    void helpTopics_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("topic");
        QTest::newRow("format box") << "cmbFormat" << "NumericFormatsPre.htm";
        QTest::newRow("bases") << "chkHex" << "NumericBases.htm";
        QTest::newRow("angles") << "optDeg" << "AngleModes.htm";
        QTest::newRow("calculator") << "cmbExpressions" << "Calculator.htm";
    }
    void helpTopics() {
        QFETCH(QString, focus);
        QFETCH(QString, topic);
        choose(s->main, "mnuCalculator");
        QWidget *w = s->main->findChild<QWidget *>(focus);
        QVERIFY(w);
        w->setFocus();
        QApplication::setActiveWindow(s->main);
        QCOMPARE(s->main->contextHelpTopic(), topic);
        choose(s->main, "mnuContents");
        auto *browser = s->main->findChild<HelpBrowser *>(QStringLiteral("HelpBrowser"));
        QVERIFY(browser && browser->isVisible());
        QCOMPARE(browser->currentTopic(), topic);
    }

    void solverHelpTopic() {
        choose(s->main, "mnuSolver");
        s->main->calculatorWindow()->inputLine()->setFocus();
        QCOMPARE(s->main->contextHelpTopic(), QStringLiteral("Solve.htm"));
        calculate(s->main, "x-1");
    }

    // "User defined" empties the format box; typing a format sets it.
    void numericFormat() {
        auto *format = s->main->findChild<QComboBox *>(QStringLiteral("cmbFormat"));
        format->setCurrentIndex(format->findText(QStringLiteral("Fixed")));
        emit format->activated(format->currentIndex());
        calculate(s->main, "1/3");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 0.33"));
        format->setCurrentIndex(format->findText(QStringLiteral("User defined")));
        emit format->activated(format->currentIndex());
        QCOMPARE(format->currentText(), QString());
        calculate(s->main, "1/4");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 0.25"));
    }

    // Unchecking every base leaves numeric answers without an answer line.
    void noBaseNoAnswerLine() {
        choose(s->main, "mnuDec");
        QVERIFY(!s->main->findChild<QCheckBox *>(QStringLiteral("chkDec"))->isChecked());
        calculate(s->main, "5+5");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Input: 5+5"));
        choose(s->main, "mnuDec");
        QVERIFY(s->main->findChild<QCheckBox *>(QStringLiteral("chkDec"))->isChecked());
    }

    void angleModes() {
        choose(s->main, "mnuDegree");
        QVERIFY(s->main->findChild<QRadioButton *>(QStringLiteral("optDeg"))->isChecked());
        calculate(s->main, "Sin(90)");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 1"));
        QTest::mouseClick(s->main->findChild<QRadioButton *>(QStringLiteral("optRad")), Qt::LeftButton, {}, QPoint(4, 6));
        QVERIFY(s->main->findChild<QAction *>(QStringLiteral("mnuRadian"))->isChecked());
    }

    void barsToggle() {
        auto *bar = s->main->findChild<QToolBar *>(QStringLiteral("pctToolBar"));
        choose(s->main, "mnuShowToolbar");
        QVERIFY(!bar->isVisible());
        choose(s->main, "mnuShowToolbar");
        QVERIFY(bar->isVisible());
    }

    // Save writes the settings; switching session recall off appends its line at once.
    void settingsFiles() {
        choose(s->main, "mnuSessionRecall");
        choose(s->main, "mnuSaveSettings");
        QVERIFY(readFile(QStringLiteral("nomix.def")).contains(QStringLiteral("Session Recall=True")));
        choose(s->main, "mnuSessionRecall");
        QVERIFY(readFile(QStringLiteral("nomix.def")).endsWith(QStringLiteral("Session Recall=True\r\nSession Recall=False\r\n")));
        choose(s->main, "mnuDegree");
        choose(s->main, "mnuResetSettings");
        QVERIFY(s->main->findChild<QRadioButton *>(QStringLiteral("optRad"))->isChecked());
        QVERIFY(readFile(QStringLiteral("nomix.def")).contains(QStringLiteral("Angle=RAD")));
    }

    // A programmable button evaluates P_Button<i>; the script defines what it does.
    void programmableButton() {
        calculate(s->main, "pressed = 0");
        calculate(s->main, "Def Syntax: P_Button3 ::= SetVar(pressed, pressed + 1)");
        QTest::mouseClick(s->main->findChild<QToolButton *>(QStringLiteral("btnProg3")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT((calculate(s->main, "pressed"), shownLines(s->main).last() == QStringLiteral("Answer: 1")), 2000);
    }

    // MsgBox keeps the classic codes: buttons + icon in, the button chosen out.
    void messageBoxes_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("press");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("icon");
        QTest::newRow("ok") << "MsgBox('Done')" << "OK" << "Answer: 1" << int(QMessageBox::NoIcon);
        QTest::newRow("ok cancel") << "MsgBox('Go on?', 1 + 32)" << "Cancel" << "Answer: 2" << int(QMessageBox::Question);
        QTest::newRow("abort retry ignore") << "MsgBox('Disk', 2 + 16)" << "Retry" << "Answer: 4" << int(QMessageBox::Critical);
        QTest::newRow("yes no cancel") << "MsgBox('Save?', 3 + 48)" << "Yes" << "Answer: 6" << int(QMessageBox::Warning);
        QTest::newRow("yes no") << "MsgBox('Sure?', 4 + 64)" << "No" << "Answer: 7" << int(QMessageBox::Information);
        QTest::newRow("retry cancel") << "MsgBox('Again?', 5)" << "Retry" << "Answer: 4" << int(QMessageBox::NoIcon);
        QTest::newRow("yes no closed") << "MsgBox('Sure?', 4)" << "" << "Answer: 7" << int(QMessageBox::NoIcon);
    }
    void messageBoxes() {
        QFETCH(QString, call);
        QFETCH(QString, press);
        QFETCH(QString, answer);
        QFETCH(int, icon);
        s->boxes.press = press;
        calculate(s->main, call);
        s->boxes.press.clear();
        QCOMPARE(shownLines(s->main).last(), answer);
        QCOMPARE(int(s->boxes.icons.last()), icon);
        QCOMPARE(s->boxes.titles.last(), QStringLiteral("Nomix"));
    }

    // An engine error shows the error box titled "Error"; the calculation goes on.
    void errorBox() {
        int before = int(s->boxes.texts.size());
        calculate(s->main, "undefinedName + 1");
        QTRY_VERIFY(s->boxes.texts.size() > before);
        QCOMPARE(s->boxes.titles.last(), QStringLiteral("Error"));
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: Undefined identifier"));
    }

    // The session file of the calculator: saved, then opened again.
    void answerFileRoundTrip() {
        choose(s->main, "mnuCalculator");
        QTest::mouseClick(s->main->findChild<QPushButton *>(QStringLiteral("btnClearAll")), Qt::LeftButton);
        calculate(s->main, "1+2");
        calculate(s->main, "'text'");
        QStringList before = s->main->calculatorWindow()->answerLines();
        QString file = QDir::current().filePath(QStringLiteral("s.ans"));
        QVERIFY(s->main->calculatorWindow()->saveFile(file, QString()));
        QTest::mouseClick(s->main->findChild<QPushButton *>(QStringLiteral("btnClearAll")), Qt::LeftButton);
        QVERIFY(s->main->calculatorWindow()->openFile(file));
        QCOMPARE(s->main->calculatorWindow()->answerLines(), before);
        QCOMPARE(s->main->calculatorWindow()->recallLines(), (QStringList{"'text'", "1+2"}));
    }
};

QTEST_MAIN(MainWindow)
#include "tst_mainwindow.moc"
