// The options window: Apply, OK and Cancel, renaming the answer variable, the
// limits as expressions, the categories of the conversion file; and the start
// window's option to skip it.
#include "frmOptions.h"
#include "frmSplash.h"
#include "guitest.h"

using namespace guitest;

class OptionsWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<Session> s;

    QWidget *options() { return s->main->findChild<QWidget *>(QStringLiteral("frmOptions")); }
    QLineEdit *box(const char *name) { return options()->findChild<QLineEdit *>(QString::fromLatin1(name)); }
    void click(const char *name) {
        QTest::mouseClick(options()->findChild<QPushButton *>(QString::fromLatin1(name)), Qt::LeftButton);
    }
    void type(const char *name, const QString &text) {
        QLineEdit *e = box(name);
        e->selectAll();
        QTest::keyClicks(e, text);
    }

private slots:
    void initTestCase() { s = start(); }

    // Renamed: ans and ansStr hold the answers from then on; last is gone.
    void renameAnswerVariable() {
        choose(s->main, "mnuMiscellaneous");
        QCOMPARE(box("txtLast")->text(), QStringLiteral("last"));
        type("txtLast", QStringLiteral("ans"));
        click("btnApply");
        calculate(s->main, "20+1");
        calculate(s->main, "ans * 2");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 42"));
        calculate(s->main, "ansStr");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: 42"));
        calculate(s->main, "last");
        QCOMPARE(shownLines(s->main).last(), QStringLiteral("Answer: Undefined identifier"));
    }

    // Cancel after editing leaves every setting as it was.
    void cancelKeepsSettings() {
        choose(s->main, "mnuMiscellaneous");
        type("txtVar", QStringLiteral("t"));
        type("txtInputRecall", QStringLiteral("3"));
        click("btnCancel");
        QTRY_VERIFY(!options());
        choose(s->main, "mnuMiscellaneous");
        QCOMPARE(box("txtVar")->text(), QStringLiteral("x"));
        QCOMPARE(box("txtInputRecall")->text(), QStringLiteral("200"));
    }

    // OK applies and closes; the answer limit is an expression.
    void okAppliesLimits() {
        choose(s->main, "mnuMiscellaneous");
        type("txtOutputRecall", QStringLiteral("2*2"));
        type("txtInputRecall", QStringLiteral("1+1"));
        click("btnOK");
        QTRY_VERIFY(!options());
        // Over its limit, the recall list loses one entry per calculation: it stops growing.
        const int recalled = inputLine(s->main)->count();
        QVERIFY(recalled > 2);
        for (int i = 0; i < 4; ++i) calculate(s->main, QString::number(i));
        QVERIFY(answerList(s->main)->count() <= 4);
        QCOMPARE(inputLine(s->main)->count(), recalled);
    }

    // A name the language cannot read is refused, and nothing changes.
    void badAnswerName() {
        choose(s->main, "mnuMiscellaneous");
        type("txtLast", QStringLiteral("two words"));
        click("btnApply");
        QTRY_VERIFY(!s->boxes.texts.isEmpty());
        calculate(s->main, "ans");
        QVERIFY(shownLines(s->main).last() != QStringLiteral("Answer: Undefined identifier"));
        click("btnCancel");
    }

    // Open reads a settings file of the user's choice into the window; Save
    // applies the window and writes every setting there.
    void settingsFilesOfTheWindow() {
        choose(s->main, "mnuMiscellaneous");
        auto *window = static_cast<DesignWindow *>(options());
        QString file = QDir::current().filePath(QStringLiteral("other.def"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Other]\r\n EqFrom = -7 \r\nIndependent Variable=t\r\n");
        f.close();
        QVERIFY(window->openFile(file));
        QCOMPARE(box("txtFrom")->text(), QStringLiteral("-7"));
        QCOMPARE(box("txtVar")->text(), QStringLiteral("t"));
        type("txtTo", QStringLiteral("7"));
        QString saved = QDir::current().filePath(QStringLiteral("saved.def"));
        QVERIFY(window->saveFile(saved, QString()));
        QFile g(saved);
        QVERIFY(g.open(QIODevice::ReadOnly));
        QByteArray text = g.readAll();
        QVERIFY(text.contains("EqFrom=-7\r\n") && text.contains("EqTo=7\r\n") && text.contains("Independent Variable=t\r\n"));
        click("btnCancel");
    }

    // The categories come from the "[" lines of a conversion file; none without one.
    void categories() {
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("c.cnv")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Length]\r\nm=1\r\n[Mass\r\nkg=1\r\n[Time] seconds\r\n");
        f.close();
        QCOMPARE(unitCategories(f.fileName()), (QStringList{"Length", "Mass", "Time"}));
        QCOMPARE(unitCategories(dir.filePath(QStringLiteral("missing.cnv"))), QStringList{});
    }

    // The start window's option is written to nomix.def at once; Start opens the frame.
    void startWindow() {
        frmSplash splash(frmSplash::Mode::Start);
        bool continued = false;
        connect(&splash, &frmSplash::continued, this, [&] { continued = true; });
        splash.show();
        QTest::mouseClick(splash.findChild<QCheckBox *>(QStringLiteral("chkSkip")), Qt::LeftButton, {}, QPoint(4, 6));
        QFile def(QDir::current().filePath(QStringLiteral("nomix.def")));
        QVERIFY(def.open(QIODevice::ReadOnly));
        QVERIFY(def.readAll().contains("SkipSplashScreen=True"));
        QTest::mouseClick(splash.findChild<QPushButton *>(QStringLiteral("btnContinue")), Qt::LeftButton);
        QVERIFY(continued);
    }
};

QTEST_MAIN(OptionsWindow)
#include "tst_options.moc"
