// The graph window "Graphing": draws the equation list of the plot set-up
// window into a backing image, which it paints, so covering, resizing and
// repainting never lose the picture. Pans with four arrow buttons and the arrow
// keys, zooms to a dragged rectangle (left button), out (other buttons) and with
// the wheel about the pointer; shows the pointer's coordinates. Saves the graph
// as coordinate data, BMP, PNG or SVG, opens data files and pictures, prints.
#pragma once

#include <QImage>
#include <QPoint>

#include "designwindow.h"
#include "tools/plotpass.h"

class QLabel;
class QPushButton;
class QRubberBand;
class QToolButton;

namespace nomix::gui {

class frmPlot;

class frmGraph : public DesignWindow {
    Q_OBJECT
public:
    explicit frmGraph(QWidget *parent = nullptr);
    ~frmGraph() override;
    // The open graph window, if any.
    static frmGraph *current();
    // Closes the window (its frame window too, inside the main window).
    void closeWindow();

    QString formName() const override { return QStringLiteral("frmGraph"); }
    QString openFilter() const override;
    QString saveFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("Print Graph"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override { return QStringLiteral("Graphing.htm"); }
    int sampleCount() const override { return 5; }
    void showSample(int index) override;

    // Refresh: show the window, restore the home view and draw.
    void btnRefresh_Click();
    void btnArrow_Click(int index);
    // The home view from the settings.
    void PlotIt();
    // One pass onto the window's image; false after the error exit.
    bool PlotXY();

    const PlotView &view() const { return view_; }
    void setView(const PlotView &view) { view_ = view; }
    const QImage &image() const { return image_; }
    // The pass onto a page; `paper`: the printed page with its equation lines.
    void drawPage(QPainter &painter, const QRect &page, bool paper);
    // The window's drawing as an SVG document, drawn by the same pass.
    QByteArray svgDocument();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // A pass onto any painter; `fileMode`: draw `file` instead of the list.
    PlotOutcome drawPass(QPainter &painter, const QRectF &area, bool printer, bool save,
                         const QString &file = {});
    PlotOutcome drawOntoImage(bool save, const QString &file = {});
    // The error exit's window part: hidden, the failing row focused, LocalError set.
    void errorExit(int row);
    void placeControls();
    PlotPoint worldAt(QPointF pos) const;
    void focusPlotWindow();
    void pan(int index);
    frmPlot *plotWindow() const;
    void hideGraph();

    PlotView view_;
    QImage image_;
    bool loaded_ = false;
    bool placed_ = false;
    bool dragging_ = false;
    QPoint dragStart_;
    PlotPoint dragStartWorld_;
    QToolButton *btnArrow_[4] = {};
    QPushButton *btnRefresh_ = nullptr;
    QLabel *lblPosition_ = nullptr;
    QRubberBand *band_ = nullptr;
    QString lastFile_;  // the file the window shows in file mode
};

} // namespace nomix::gui
