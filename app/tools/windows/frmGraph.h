// The graph window "Graphing": draws the equation list of the plot set-up
// window into a backing image, which it paints, so covering, resizing and
// repainting never lose the picture. Pans with four arrow buttons and the arrow
// keys, zooms to a dragged rectangle (left button), out (other buttons) and with
// the wheel about the pointer; shows the pointer's coordinates. Saves the graph
// as coordinate data, BMP, PNG or SVG, opens data files and pictures, prints.
#pragma once

#include <QImage>
#include <QPoint>

#include <functional>
#include <optional>
#include <vector>

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
    // The next pass starts from the home view of the settings.
    void PlotIt();
    // A change of the view that may need the home view (both in, the new view
    // out); it runs inside the pass's job, where the settings can be read.
    using ViewStep = std::function<PlotView(const PlotView &view, const PlotView &home)>;
    // One pass onto the window's image after `step`; false after the error exit
    // or when the window was closed meanwhile. Called while a pass runs, the
    // step waits and the running pass draws once more when it has finished.
    bool PlotXY(ViewStep step = {});

    const PlotView &view() const { return view_; }
    void setView(const PlotView &view) { view_ = view; }
    const QImage &image() const { return image_; }
    // The drawing's part of the window: all of it above the control strip.
    QRect plotArea() const;
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
    // What a pass draws, taken from the controls; `file`: drawn instead of the list.
    PlotRequest passRequest(bool save, const QString &file);
    // A pass onto any painter, run where the engine runs; nullopt when the
    // window was closed while it waited.
    std::optional<PlotOutcome> drawPass(QPainter &painter, const QRectF &area, bool printer, bool save,
                                        const QString &file = {});
    std::optional<PlotOutcome> drawOntoImage(bool save, const QString &file, const std::vector<ViewStep> &steps);
    // The error exit's window part: hidden, the failing row focused, LocalError set.
    void errorExit(int row);
    void placeControls();
    int stripHeight() const;
    static constexpr int kStripMargin = 6;
    PlotPoint worldAt(QPointF pos) const;
    static void focusPlotWindow();
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
    bool passing_ = false;               // a pass's job is running
    bool redraw_ = false;                // asked for again while it ran
    std::vector<ViewStep> pendingSteps_; // view changes the next pass applies
};

} // namespace nomix::gui
