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
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>

#include "frmPlot.h"
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

// Writes bytes atomically; shows why when it fails.
bool writeAtomically(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    showError(QStringLiteral("The graph could not be saved as %1: %2").arg(path, file.errorString()));
    return false;
}

} // namespace

// Every open window of this kind, newest last.
static QList<frmGraph *> &openGraph() {
    static QList<frmGraph *> windows;
    return windows;
}

// The arrow buttons, Refresh and the read-out over the drawing; the home view.
frmGraph::frmGraph(QWidget *parent) : DesignWindow(parent) {
    openGraph().append(this);
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
    lblPosition_->setAutoFillBackground(true);
    QPalette paper = lblPosition_->palette();
    paper.setColor(QPalette::Window, kPaper);
    paper.setColor(QPalette::WindowText, kInk);
    lblPosition_->setPalette(paper);
    lblPosition_->setContentsMargins(4, 1, 4, 1);
    band_ = new QRubberBand(QRubberBand::Rectangle, this);
    resize(twipsToPixels(6810, this), twipsToPixels(4545, this));
    PlotIt();
    loaded_ = true;
}

// Leaves the list of open graph windows.
frmGraph::~frmGraph() {
    openGraph().removeAll(this);
}

frmGraph *frmGraph::current() { return openGraph().isEmpty() ? nullptr : openGraph().last(); }

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

// The home view from the settings.
void frmGraph::PlotIt() { view_ = homeView(graphSettings()); }

PlotOutcome frmGraph::drawPass(QPainter &painter, const QRectF &area, bool printer, bool save,
                               const QString &file) {
    PlotRequest request;
    request.view = view_;
    if (frmPlot *list = plotWindow()) request.rows = list->list().plotRows();
    request.widthPx = width();
    request.heightPx = height();
    request.saveCoordinates = save;
    request.fileMode = !file.isEmpty();
    request.fileName = file.toStdString();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    try {
        PainterCanvas canvas(painter, area, kPaper, kInk, printer);
        return runPlotPass(canvas, request, graphSettings());
    } catch (const std::exception &e) {
        // Out of engine memory, say: the pass ends, the window stays.
        showError(QStringLiteral("The graph could not be drawn: %1").arg(QString::fromLocal8Bit(e.what())));
        PlotOutcome failed;
        failed.failed = true;
        return failed;
    }
}

// Redraws the backing image at the window's size and pixel ratio.
PlotOutcome frmGraph::drawOntoImage(bool save, const QString &file) {
    const qreal ratio = devicePixelRatioF();
    const QSize size = this->size().expandedTo(QSize(1, 1));
    if (image_.size() != size * ratio) {
        image_ = QImage(size * ratio, QImage::Format_ARGB32_Premultiplied);
        image_.setDevicePixelRatio(ratio);
        const int dpm = qRound(logicalDpiX() / 0.0254);
        image_.setDotsPerMeterX(dpm);
        image_.setDotsPerMeterY(dpm);
    }
    QPainter painter(&image_);
    painter.setFont(font());
    PlotOutcome out = drawPass(painter, QRectF(QPointF(0, 0), QSizeF(size)), false, save, file);
    painter.end();
    update();
    return out;
}

// One pass onto the window's image, with the busy cursor; the error exit when it fails.
bool frmGraph::PlotXY() {
    frmPlot *list = plotWindow();
    if (list && list->LocalError() == -1) return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const PlotOutcome out = drawOntoImage(false, lastFile_);  // never throws
    QApplication::restoreOverrideCursor();
    placeControls();
    if (out.failed) errorExit(out.failingRow);
    return !out.failed;
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

// The arrow buttons bottom right, Refresh beside them, the read-out bottom left.
void frmGraph::placeControls() {
    const int h = height(), w = width();
    auto px = [this](int twips) { return twipsToPixels(twips, this); };
    const int side = px(255);
    for (QToolButton *b : btnArrow_) b->resize(side, side);
    btnArrow_[3]->move(w - px(945), h - px(1100));
    btnArrow_[1]->move(w - px(450), h - px(1100));
    btnArrow_[0]->move(w - px(705), h - px(1280));
    btnArrow_[2]->move(w - px(705), h - px(950));
    btnRefresh_->adjustSize();
    btnRefresh_->move(w - px(945) - btnRefresh_->width() - px(120), h - px(1200));
    lblPosition_->adjustSize();
    lblPosition_->move(px(90), h - lblPosition_->height() - px(90));
}

// Shows the window again, the home view, the equation list drawn.
void frmGraph::btnRefresh_Click() {
    lastFile_.clear();
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) sub->show();
    show();
    PlotIt();
    PlotXY();
}

// Pans, draws, and gives the set-up window the focus.
void frmGraph::btnArrow_Click(int index) {
    pan(index);
    focusPlotWindow();
}

// Moves the view a fifth of the home range and draws.
void frmGraph::pan(int index) {
    view_ = panned(view_, homeView(graphSettings()), PanDirection(index & 3));
    PlotXY();
}

// ---------------------------------------------------------------------------
// Events.

void frmGraph::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    // Paper wherever the picture does not reach (a resize whose pass did not run).
    if (image_.isNull() || image_.deviceIndependentSize().toSize() != size()) painter.fillRect(rect(), kPaper);
    if (!image_.isNull()) painter.drawImage(QPointF(0, 0), image_);
}

// Resizing redraws once, after the burst of resize events has settled.
void frmGraph::resizeEvent(QResizeEvent *event) {
    DesignWindow::resizeEvent(event);
    placeControls();
    if (!loaded_ || isMinimized()) return;
    QTimer::singleShot(0, this, [this] {
        if (image_.size() != size() * devicePixelRatioF()) PlotXY();
    });
}

PlotPoint frmGraph::worldAt(QPointF pos) const {
    const double w = std::max(1, width()), h = std::max(1, height());
    return {view_.xMin + pos.x() / w * (double(view_.xMax) - view_.xMin),
            view_.yMax - pos.y() / h * (double(view_.yMax) - view_.yMin)};
}

void frmGraph::mousePressEvent(QMouseEvent *event) {
    dragging_ = true;
    dragStart_ = event->position().toPoint();
    dragStartWorld_ = worldAt(event->position());
    band_->setGeometry(QRect(dragStart_, QSize()));
    band_->show();
}

void frmGraph::mouseMoveEvent(QMouseEvent *event) {
    const PlotPoint p = worldAt(event->position());
    lblPosition_->setText(QStringLiteral("x= ") + fixedText(p.x) + QStringLiteral("    y= ") + fixedText(p.y));
    lblPosition_->adjustSize();
    if (dragging_) band_->setGeometry(QRect(dragStart_, event->position().toPoint()).normalized());
}

void frmGraph::mouseReleaseEvent(QMouseEvent *event) {
    if (!dragging_) return;
    dragging_ = false;
    band_->hide();
    if (event->button() == Qt::LeftButton)
        view_ = dragZoomed(view_, dragStartWorld_, worldAt(event->position()));
    else
        view_ = zoomedOut(view_, homeView(graphSettings()));
    PlotXY();
    focusPlotWindow();
}

// The wheel zooms about the pointer: a notch in shows 80 % of the view.
void frmGraph::wheelEvent(QWheelEvent *event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    view_ = wheelZoomed(view_, worldAt(event->position()), std::pow(0.8, notches));
    PlotXY();
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
    if (PlotXY()) return true;
    lastFile_ = previous;
    return false;
}

QByteArray frmGraph::svgDocument() {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size());
    svg.setViewBox(QRect(QPoint(0, 0), size()));
    svg.setResolution(logicalDpiX());
    svg.setTitle(QStringLiteral("Graph"));
    QPainter painter(&svg);
    painter.setFont(font());
    drawPass(painter, QRectF(rect()), false, false, lastFile_);
    painter.end();
    return buffer.data();
}

// The kind comes from the file's extension, else from the filter chosen.
bool frmGraph::saveFile(const QString &path, const QString &chosenFilter) {
    QString kind = QFileInfo(path).suffix().toLower();
    if (kind.isEmpty()) {
        const qsizetype star = chosenFilter.indexOf(QLatin1String("*."));
        kind = star >= 0 ? chosenFilter.mid(star + 2, 3).toLower() : QStringLiteral("dat");
    }
    if (kind == QLatin1String("dat")) {
        const PlotOutcome out = drawOntoImage(true, lastFile_);
        if (out.failed) return false;
        return writeAtomically(path, QByteArray::fromStdString(out.coordinates));
    }
    if (kind == QLatin1String("svg")) return writeAtomically(path, svgDocument());
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, kind == QLatin1String("bmp") ? "bmp" : "png");
    QImage picture = image_;
    if (kind == QLatin1String("bmp")) picture = picture.convertToFormat(QImage::Format_RGB32);
    if (!writer.write(picture)) {
        showError(writer.errorString());
        return false;
    }
    return writeAtomically(path, buffer.data());
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
