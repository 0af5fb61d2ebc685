// What the window tests share: one desktop program per test process, started
// in a temporary program directory, and helpers that act as a user does.
#pragma once

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QFile>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "MDInomix.h"
#include "frmNOMIX.h"
#include "program.h"
#include "shell/bootstrap.h"
#include "shell/calculator.h"

namespace guitest {

using namespace nomix::gui;

// The built nomix beside the test program.
inline QString nomixProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("nomix"));
}

// Starts the built nomix offscreen on a home directory, skipping the start
// window, so that it says "ready" on standard output once its script is done.
inline void startOffscreen(QProcess &nomix, const QString &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    nomix.setProcessEnvironment(env);
    nomix.start(nomixProgram(), {QStringLiteral("--home"), home, QStringLiteral("/SkipAbout"), QStringLiteral("--report-ready")});
}

// A whole file, or nothing when it cannot be read.
inline QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Answers every message box that appears (as OK would) and keeps its text,
// so tests see the boxes a user would see.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(w);
                if (!box || !box->isVisible()) continue;
                texts << box->text();
                titles << box->windowTitle();
                icons << box->icon();
                QAbstractButton *chosen = nullptr;
                for (QAbstractButton *b : box->buttons())
                    if (!press.isEmpty() && b->text().remove(QLatin1Char('&')) == press) chosen = b;
                if (chosen) chosen->click();
                else box->done(QMessageBox::Ok);
            }
        });
        timer_.start();
    }
    QStringList texts, titles;
    QList<QMessageBox::Icon> icons;
    QString press;  // the button to click (its text without "&"); empty: close the box

private:
    QTimer timer_;
};

struct Session {
    QTemporaryDir home;
    BoxAnswerer boxes;
    std::unique_ptr<DesktopProgram> program;
    MDInomix *main = nullptr;
};

// Starts the program in a fresh directory (with optional settings text) and
// opens its main window.
inline std::unique_ptr<Session> start(const QByteArray &settings = {}) {
    auto s = std::make_unique<Session>();
    if (!settings.isEmpty()) {
        QFile f(s->home.filePath(QStringLiteral("nomix.def")));
        f.open(QIODevice::WriteOnly);
        f.write(settings);
    }
    s->program = std::make_unique<DesktopProgram>();
    s->program->start(std::filesystem::path(s->home.path().toStdString()));
    s->main = s->program->openMainWindow();
    return s;
}

inline QComboBox *inputLine(MDInomix *m) { return m->findChild<QComboBox *>(QStringLiteral("cmbExpressions")); }
inline QListWidget *answerList(MDInomix *m) { return m->findChild<QListWidget *>(QStringLiteral("lstAnswer")); }

// Types a line into the calculator's input line and presses Enter.
inline void calculate(MDInomix *m, const QString &line) {
    QComboBox *box = inputLine(m);
    box->lineEdit()->clear();
    box->setFocus();
    QTest::keyClicks(box->lineEdit(), line);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
}

// The answer list's lines without the blank separators.
inline QStringList shownLines(MDInomix *m) {
    QStringList out;
    QListWidget *list = answerList(m);
    for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->text().isEmpty()) out << list->item(i)->text();
    return out;
}

// Chooses a menu entry by its object name, as a click on it would.
inline void choose(MDInomix *m, const char *entry) {
    QAction *a = m->findChild<QAction *>(QString::fromLatin1(entry));
    QVERIFY2(a, entry);
    QVERIFY2(a->isEnabled(), entry);
    a->trigger();
}

} // namespace guitest
