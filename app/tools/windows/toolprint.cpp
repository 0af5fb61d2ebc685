#include "toolprint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTableWidget>

#include "shell/host.h"

namespace nomix::gui {

// The title in bold, then the lines in equal columns.
void paintTextPage(QPainter &painter, const QRect &page, const QString &title, const QStringList &lines) {
    painter.save();
    QFont titleFont = painter.font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    painter.setFont(titleFont);
    const int titleHeight = QFontMetrics(titleFont, painter.device()).height();
    painter.drawText(QRect(page.left(), page.top(), page.width(), titleHeight), Qt::AlignLeft, title);

    QFont body = painter.font();
    body.setBold(false);
    body.setPointSizeF(titleFont.pointSizeF() / 1.3);
    painter.setFont(body);
    const int lineHeight = QFontMetrics(body, painter.device()).height();
    int y = page.top() + titleHeight + lineHeight / 2;
    for (const QString &line : lines) {
        if (y + lineHeight > page.bottom()) break;
        const QStringList parts = line.split(QLatin1Char('\t'));
        const int width = page.width() / int(parts.size());
        for (int i = 0; i < parts.size(); ++i)
            painter.drawText(QRect(page.left() + i * width, y, width - lineHeight / 2, lineHeight),
                             Qt::AlignLeft | Qt::AlignVCenter, parts[i]);
        y += lineHeight;
    }
    painter.restore();
}

// Each grid row as its cells joined by tabs.
QStringList gridLines(const QTableWidget &grid, int columns) {
    QStringList lines;
    for (int r = 0; r < grid.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < columns; ++c) {
            const QTableWidgetItem *item = grid.item(r, c);
            cells << (item ? item->text() : QString());
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines;
}

// The box goes through the host, as the engine's own errors do.
void showError(QWidget *parent, const QString &text) {
    (void)parent;
    nomix::host().messageBox(ss(text), 48, "Error");
}

} // namespace nomix::gui
