// The windows' side of the session files: "nomix.tmp" and the calculator's
// "*.ans" files in Qt types, over the core's readers and writers. (The core's
// session header is kept to this file, so the window code does not mix its
// types with those of the host interface.)
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

namespace nomix::gui {

// One window of "nomix.tmp".
struct SessionWindow {
    QString name;
    int state = 0;          // 0 normal, 1 minimised, 2 maximised
    bool hasGeometry = false;
    QRect twips;            // left, top, width, height in twips
    QStringList lines;      // the window's own records, then its control texts
};

struct SessionLoad {
    QVector<SessionWindow> windows;
    bool missing = true;
    QString problems;       // what could not be read, for one report; empty when none
};

SessionLoad readSessionFile(const QString &path);
// False with the reason when the file was not written (the old one is kept).
bool writeSessionFile(const QString &path, const QVector<SessionWindow> &windows, QString *error);

// The calculator's records in "nomix.tmp": recall entries, then answer lines.
QStringList calculatorSessionRecords(const QStringList &recall, const QStringList &answers);
// Reads them back from the front of `lines`; the rest of `lines` is left there.
void readCalculatorSessionRecords(QStringList &lines, QStringList &recall, QStringList &answers);

// An "*.ans" file: the answer list and the inputs, newest first.
struct AnswerFile {
    QStringList answers;
    QStringList recall;
    bool missing = true;
    QString problems;
};
AnswerFile readAnswerFile(const QString &path);
bool writeAnswerFile(const QString &path, const QStringList &answers, QString *error);

} // namespace nomix::gui
