#include "frmGraph.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPagedPaintDevice>
#include <QPushButton>
#include <QRubberBand>
#include <QSvgGenerator>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>
#include <utility>

#include "frmPlot.h"
#include "enginejob.h"
#include "paintercanvas.h"
#include "graphwindows.h"
#include "tools/plotview.h"

namespace nomix::gui {

namespace {


// The graph is a sheet of paper in every palette: the row colours and the
// printed page look the same as the window.
const QColor kPaper(Qt::white);
const QColor kInk(Qt::black);

// "Fixed": at least one digit before the point and two after it.
QString fixedText(double v) { return QString::number(v, 'f', 2); }

// The pass onto any painter, inside a job: the settings as they stand now, the
// request's view moved by `steps` first. Never throws: out of engine memory,
// say, the pass ends with the error box and the window stays.
PlotOutcome passOnto(QPainter &painter, const QRectF &area, bool printer, PlotRequest &request,
                     const std::vector<frmGraph::ViewStep> &steps) {
    try {
        const Settings settings = graphSettings();  // a copy: a script may change them meanwhile
        if (!steps.empty()) {
            const PlotView home = homeView(settings);
            for (const frmGraph::ViewStep &step : steps) request.view = step(request.view, home);
        }
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        PainterCanvas canvas(painter, area, kPaper, kInk, printer);
        return runPlotPass(canvas, request, settings);
    } catch (const std::exception &e) {
        showError(QStringLiteral("The graph could not be drawn: %1").arg(QString::fromLocal8Bit(e.what())));
        PlotOutcome failed;
        failed.failed = true;
        return failed;
    }
}

// The step of Refresh: back home.
PlotView toHome(const PlotView &, const PlotView &home) { return home; }

} // namespace

// The drawing on top; below it a strip with the read-out, Refresh and the arrow buttons; the home view.
frmGraph::frmGraph(QWidget *parent) : DesignWindow(parent) {
    openWindows<frmGraph>().append(this);
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Graphing"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const Qt::ArrowType arrows[4] = {Qt::UpArrow, Qt::RightArrow, Qt::DownArrow, Qt::LeftArrow};
    const char *tips[4] = {"Pan up", "Pan right", "Pan down", "Pan left"};
    for (int i = 0; i < 4; ++i) {
        btnArrow_[i] = new QToolButton(this);
        btnArrow_[i]->setObjectName(QStringLiteral("btnArrow%1").arg(i));
        btnArrow_[i]->setArrowType(arrows[i]);
        btnArrow_[i]->setToolTip(QString::fromLatin1(tips[i]));
        btnArrow_[i]->setAutoRepeat(true);
        btnArrow_[i]->setFocusPolicy(Qt::NoFocus);
        connect(btnArrow_[i], &QToolButton::clicked, this, [this, i] { btnArrow_Click(i); });
    }
    btnRefresh_ = new QPushButton(QStringLiteral("&Refresh"), this);
    btnRefresh_->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh_->setToolTip(QStringLiteral("Back to the home view, drawn again"));
    connect(btnRefresh_, &QPushButton::clicked, this, &frmGraph::btnRefresh_Click);
    lblPosition_ = new QLabel(QStringLiteral("x:     y:"), this);
    lblPosition_->setObjectName(QStringLiteral("lblPosition"));
    band_ = new QRubberBand(QRubberBand::Rectangle, this);
    resize(twipsToPixels(6810, this), twipsToPixels(4545, this) + stripHeight());
    PlotIt();  // the first pass starts at home
    loaded_ = true;
}

// Leaves the list of open graph windows.
frmGraph::~frmGraph() {
    openWindows<frmGraph>().removeAll(this);
}

frmGraph *frmGraph::current() { return newestWindow<frmGraph>(); }

// Closes the frame inside the main window, else the window.
void frmGraph::closeWindow() {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

// ---------------------------------------------------------------------------
// The pass.

frmPlot *frmGraph::plotWindow() const {
    if (frmPlot *list = frmPlot::current()) return list;
    return qobject_cast<frmPlot *>(openDesignWindow(QStringLiteral("frmPlot")));
}

// The home view is read where the engine runs: the next pass's job goes there first.
void frmGraph::PlotIt() { pendingSteps_.push_back(toHome); }

// The view, the size and the list's rows, read on the window thread.
PlotRequest frmGraph::passRequest(bool save, const QString &file) {
    PlotRequest request;
    request.view = view_;
    if (frmPlot *list = plotWindow()) request.rows = list->list().plotRows();
    request.widthPx = plotArea().width();
    request.heightPx = plotArea().height();
    request.saveCoordinates = save;
    request.fileMode = !file.isEmpty();
    request.fileName = file.toStdString();
    return request;
}

// The painter is used by the job alone until it returns (the window thread waits).
std::optional<PlotOutcome> frmGraph::drawPass(QPainter &painter, const QRectF &area, bool printer, bool save,
                                              const QString &file) {
    PlotRequest request = passRequest(save, file);
    PlotOutcome out;
    if (!runWindowJob(this, [&] { out = passOnto(painter, area, printer, request, {}); })) return std::nullopt;
    return out;
}

// Draws a fresh image at the window's size and pixel ratio inside the job, so
// paint events meanwhile show the previous one; then swaps it in and takes
// the view the steps led to.
std::optional<PlotOutcome> frmGraph::drawOntoImage(bool save, const QString &file,
                                                   const std::vector<ViewStep> &steps) {
    const qreal ratio = devicePixelRatioF();
    const QSize size = plotArea().size();
    QImage fresh(size * ratio, QImage::Format_ARGB32_Premultiplied);
    fresh.setDevicePixelRatio(ratio);
    const int dpm = qRound(logicalDpiX() / 0.0254);
    fresh.setDotsPerMeterX(dpm);
    fresh.setDotsPerMeterY(dpm);
    PlotRequest request = passRequest(save, file);
    const QFont font = this->font();
    PlotOutcome out;
    const bool open = runWindowJob(this, [&] {
        QPainter painter(&fresh);
        painter.setFont(font);
        out = passOnto(painter, QRectF(QPointF(0, 0), QSizeF(size)), false, request, steps);
    });
    if (!open) return std::nullopt;
    view_ = request.view;
    image_ = std::move(fresh);
    update();
    return out;
}

// One pass onto the window's image, with the busy cursor; the error exit when
// it fails. Steps and passes asked for while the job runs (the wheel, the
// keys, a resize) are drawn by one more pass afterwards.
bool frmGraph::PlotXY(ViewStep step) {
    if (step) pendingSteps_.push_back(std::move(step));
    if (passing_) {
        redraw_ = true;
        return true;
    }
    frmPlot *list = plotWindow();
    if (list && list->LocalError() == -1) return false;
    passing_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::optional<PlotOutcome> out;
    do {
        redraw_ = false;
        out = drawOntoImage(false, lastFile_, std::exchange(pendingSteps_, {}));
    } while (out && !out->failed && redraw_);
    QApplication::restoreOverrideCursor();
    if (!out) return false;  // closed meanwhile: nothing here may be touched
    passing_ = false;
    placeControls();
    if (out->failed) {
        pendingSteps_.clear();
        errorExit(out->failingRow);
    }
    return !out->failed;
}

// Hides the frame inside the main window, else the window.
void frmGraph::hideGraph() {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->hide();
    else
        hide();
}

// The graph hidden, the failing row focused, LocalError set.
void frmGraph::errorExit(int row) {
    hideGraph();
    if (frmPlot *list = plotWindow()) {
        list->focusEquation(row);
        list->setLocalError(-1);
    }
}

// Back to the set-up window, to go on typing equations.
void frmGraph::focusPlotWindow() {
    if (frmPlot *list = frmPlot::current()) list->activate();
}

// The strip under the drawing: as high as its tallest control, with a margin.
int frmGraph::stripHeight() const {
    const int tallest = std::max({btnRefresh_->sizeHint().height(), btnArrow_[0]->sizeHint().height(),
                                  lblPosition_->sizeHint().height()});
    return tallest + 2 * kStripMargin;
}

// The drawing: the whole window above the control strip (never empty).
QRect frmGraph::plotArea() const {
    return QRect(0, 0, std::max(1, width()), std::max(1, height() - stripHeight()));
}

// In the strip: the read-out on the left; Refresh and the arrows (left, up,
// down, right) on the right, all centred on the strip's middle line.
void frmGraph::placeControls() {
    const int top = plotArea().bottom() + 1, middle = top + stripHeight() / 2;
    const int side = btnRefresh_->sizeHint().height();
    int x = width() - kStripMargin;
    for (int i : {1, 2, 0, 3}) {
        btnArrow_[i]->resize(side, side);
        x -= side;
        btnArrow_[i]->move(x, middle - side / 2);
        x -= 2;
    }
    btnRefresh_->resize(btnRefresh_->sizeHint());
    x -= kStripMargin + btnRefresh_->width();
    btnRefresh_->move(x, middle - btnRefresh_->height() / 2);
    lblPosition_->adjustSize();
    lblPosition_->move(kStripMargin, middle - lblPosition_->height() / 2);
}

// Shows the window again, the home view, the equation list drawn.
void frmGraph::btnRefresh_Click() {
    lastFile_.clear();
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) sub->show();
    show();
    PlotXY(toHome);
}

// Pans, draws, and gives the set-up window the focus.
void frmGraph::btnArrow_Click(int index) {
    pan(index);
    focusPlotWindow();
}

// Moves the view a fifth of the home range and draws.
void frmGraph::pan(int index) {
    PlotXY([index](const PlotView &view, const PlotView &home) {
        return panned(view, home, PanDirection(index & 3));
    });
}

// ---------------------------------------------------------------------------
// Events.

void frmGraph::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(QRect(0, plotArea().bottom() + 1, width(), stripHeight()), palette().window());
    // Paper wherever the picture does not reach (a resize whose pass did not run).
    if (image_.isNull() || image_.deviceIndependentSize().toSize() != plotArea().size())
        painter.fillRect(plotArea(), kPaper);
    if (!image_.isNull()) painter.drawImage(QPointF(0, 0), image_);
}

// Resizing redraws once, after the burst of resize events has settled.
void frmGraph::resizeEvent(QResizeEvent *event) {
    DesignWindow::resizeEvent(event);
    placeControls();
    if (!loaded_ || isMinimized()) return;
    QTimer::singleShot(0, this, [this] {
        if (image_.size() != plotArea().size() * devicePixelRatioF()) PlotXY();
    });
}

PlotPoint frmGraph::worldAt(QPointF pos) const {
    const double w = plotArea().width(), h = plotArea().height();
    return {view_.xMin + pos.x() / w * (double(view_.xMax) - view_.xMin),
            view_.yMax - pos.y() / h * (double(view_.yMax) - view_.yMin)};
}

void frmGraph::mousePressEvent(QMouseEvent *event) {
    if (!plotArea().contains(event->position().toPoint())) return;  // the strip is no part of the graph
    dragging_ = true;
    dragStart_ = event->position().toPoint();
    dragStartWorld_ = worldAt(event->position());
    band_->setGeometry(QRect(dragStart_, QSize()));
    band_->show();
}

void frmGraph::mouseMoveEvent(QMouseEvent *event) {
    if (plotArea().contains(event->position().toPoint())) {
        const PlotPoint p = worldAt(event->position());
        lblPosition_->setText(QStringLiteral("x= ") + fixedText(p.x) + QStringLiteral("    y= ") + fixedText(p.y));
        lblPosition_->adjustSize();
    }
    if (dragging_) band_->setGeometry(QRect(dragStart_, event->position().toPoint()).normalized() & plotArea());
}

void frmGraph::mouseReleaseEvent(QMouseEvent *event) {
    if (!dragging_) return;
    dragging_ = false;
    band_->hide();
    if (event->button() == Qt::LeftButton) {
        const PlotPoint start = dragStartWorld_, end = worldAt(event->position());
        PlotXY([start, end](const PlotView &view, const PlotView &) { return dragZoomed(view, start, end); });
    } else {
        PlotXY(zoomedOut);
    }
    focusPlotWindow();
}

// The wheel zooms about the pointer: a notch in shows 80 % of the view.
void frmGraph::wheelEvent(QWheelEvent *event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    const PlotPoint at = worldAt(event->position());
    const double factor = std::pow(0.8, notches);
    PlotXY([at, factor](const PlotView &view, const PlotView &) { return wheelZoomed(view, at, factor); });
    event->accept();
}

void frmGraph::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
    // The keys pan like the buttons but leave the focus here, for the next key.
    case Qt::Key_Up: pan(0); break;
    case Qt::Key_Right: pan(1); break;
    case Qt::Key_Down: pan(2); break;
    case Qt::Key_Left: pan(3); break;
    case Qt::Key_Escape:
        if (dragging_) {
            dragging_ = false;
            band_->hide();
        }
        break;
    default: DesignWindow::keyPressEvent(event); return;
    }
    event->accept();
}

// ---------------------------------------------------------------------------
// Files and printing.

QString frmGraph::openFilter() const {
    return qtFilter(QStringLiteral("Coordinate data files (*.dat)|*.dat|Picture files "
                                   "(*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.svg)|*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.svg|"
                                   "All Files (*.*)|*.*"));
}

QString frmGraph::saveFilter() const {
    return qtFilter(QStringLiteral("Coordinate data (*.dat)|*.dat|Bitmap (*.bmp)|*.bmp|"
                                   "PNG picture (*.png)|*.png|SVG picture (*.svg)|*.svg"));
}

bool frmGraph::openFile(const QString &path) {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) sub->show();
    show();
    const QString previous = lastFile_;
    lastFile_ = path;
    // Opening is the user's own new start, as Plot is: an earlier failure does not block it.
    if (frmPlot *list = plotWindow()) list->setLocalError(0);
    QPointer<frmGraph> alive(this);
    if (PlotXY()) return true;
    if (alive) lastFile_ = previous;
    return false;
}

QByteArray frmGraph::svgDocument() {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(plotArea().size());
    svg.setViewBox(plotArea());
    svg.setResolution(logicalDpiX());
    svg.setTitle(QStringLiteral("Graph"));
    QPainter painter(&svg);
    painter.setFont(font());
    const bool open = drawPass(painter, QRectF(plotArea()), false, false, lastFile_).has_value();
    painter.end();
    return open ? buffer.data() : QByteArray();
}

// The kind comes from the file's extension, else from the filter chosen.
bool frmGraph::saveFile(const QString &path, const QString &chosenFilter) {
    QString kind = QFileInfo(path).suffix().toLower();
    if (kind.isEmpty()) {
        const qsizetype star = chosenFilter.indexOf(QLatin1String("*."));
        kind = star >= 0 ? chosenFilter.mid(star + 2, 3).toLower() : QStringLiteral("dat");
    }
    if (kind == QLatin1String("dat")) {
        const std::optional<PlotOutcome> out = drawOntoImage(true, lastFile_, {});
        if (!out || out->failed) return false;
        return saveAtomically(path, QByteArray::fromStdString(out->coordinates), QStringLiteral("graph"));
    }
    if (kind == QLatin1String("svg")) {
        QPointer<frmGraph> alive(this);
        const QByteArray svg = svgDocument();
        return alive && saveAtomically(path, svg, QStringLiteral("graph"));
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, kind == QLatin1String("bmp") ? "bmp" : "png");
    QImage picture = image_;
    if (kind == QLatin1String("bmp")) picture = picture.convertToFormat(QImage::Format_RGB32);
    if (!writer.write(picture)) {
        showError(writer.errorString());
        return false;
    }
    return saveAtomically(path, buffer.data(), QStringLiteral("graph"));
}

// On a printer the page carries the equations, the y label, the graph, the
// title and the x label; on an image (Special Copy) the window's picture.
void frmGraph::printPage(QPainter &painter, const QRect &page) {
    // Printers and PDF writers are paged devices; Special Copy paints an image.
    drawPage(painter, page, dynamic_cast<QPagedPaintDevice *>(painter.device()) != nullptr);
}

void frmGraph::drawPage(QPainter &painter, const QRect &page, bool paper) {
    drawPass(painter, QRectF(page), paper, false, lastFile_);
}

// The set-up window's frame and this one's: the MDI frames inside the main
// window, else the windows themselves.
static QWidget *frameOf(QWidget *w) {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(w->parentWidget())) return sub;
    return w->window();
}

// The graph opens to the right of the set-up window, at the top.
void frmGraph::showEvent(QShowEvent *event) {
    DesignWindow::showEvent(event);
    if (placed_) return;
    placed_ = true;
    frmPlot *list = frmPlot::current();
    if (!list || !list->isVisible()) return;
    QWidget *plotFrame = frameOf(list), *frame = frameOf(this);
    if (plotFrame == frame || plotFrame->parentWidget() != frame->parentWidget()) return;
    const bool inside = qobject_cast<QMdiSubWindow *>(frame) != nullptr;
    frame->move(plotFrame->frameGeometry().right() + 1, inside ? 0 : plotFrame->frameGeometry().top());
}

// ---------------------------------------------------------------------------
// Samples for the screenshots: one curve of each kind.

// This window draws the sample, also when it is not the one the frame opens.
void frmGraph::showSample(int index) {
    frmPlot *list = plotWindow();
    if (!list) return;
    list->showGraphSample(index);
    list->setLocalError(0);
    btnRefresh_Click();
}

} // namespace nomix::gui
