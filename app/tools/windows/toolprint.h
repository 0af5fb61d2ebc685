// The printed page of the tool windows (summation, converter, adder, modules):
// a title and lines of text, columns split at tab characters. Also what
// Special Copy renders onto an image.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <string>

#include "designwindow.h"

class QPainter;
class QLineEdit;
class QTableWidget;
class QWidget;

namespace nomix::gui {

// Paints the title, then each line; a line's tab-separated parts go into equal
// columns. Lines that do not fit on the page are left out.
void paintTextPage(QPainter &painter, const QRect &page, const QString &title, const QStringList &lines);

// The texts of a grid's rows, the cells of a row joined by tabs.
QStringList gridLines(const QTableWidget &grid, int columns);

// Text of a core string (UTF-8) and back.
inline std::string ss(const QString &s) { return s.toStdString(); }

// The error box (exclamation icon, title "Error") through the application's
// host, so scripts and tests see it the way they see the engine's errors.
void showError(QWidget *parent, const QString &text);

} // namespace nomix::gui
