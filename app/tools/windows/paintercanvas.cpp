#include "paintercanvas.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

#include "designwindow.h"

namespace nomix::gui {

namespace {
// Device coordinates are kept within this distance of the area: points far
// outside the view (the clipped ends of a pole) would otherwise overflow the
// rasterizer's fixed-point arithmetic.
constexpr double kFarOutside = 1e5;
}

PainterCanvas::PainterCanvas(QPainter &painter, const QRectF &area, QColor background,
                             QColor foreground, bool printer)
    : painter_(painter), area_(area), background_(background), foreground_(foreground),
      printer_(printer), font_(painter.font()) {
    painter_.save();
    painter_.setClipRect(area_);
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    tolerance_ = 0.33 / std::max<qreal>(1.0, ratio);
    usePen(foreground_);
}

// Draws what is pending and gives the painter back as it was.
PainterCanvas::~PainterCanvas() {
    flush();
    painter_.restore();
}

// A pen one logical unit wide: crisp at every device pixel ratio.
void PainterCanvas::usePen(const QColor &color) {
    QPen pen(color);
    pen.setWidthF(printer_ ? area_.width() / 1200.0 : 1.0);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter_.setPen(pen);
}

// Strokes the open run of lineTo points.
void PainterCanvas::flush() {
    if (run_.size() > 1) painter_.drawPolyline(run_);
    if (!run_.isEmpty()) lastPoint_ = run_.last();
    run_.clear();
}

void PainterCanvas::clear() {
    flush();
    painter_.fillRect(area_, background_);
}

void PainterCanvas::setColor(BgrColor color) {
    flush();
    usePen(colorFromBgr(color));
}

void PainterCanvas::setDefaultColor() {
    flush();
    usePen(foreground_);
}

// World units from now on: the view fills the area.
void PainterCanvas::setUserScale(const PlotView &view) {
    flush();
    world_ = true;
    view_ = view;
    sx_ = area_.width() / (double(view.xMax) - view.xMin);
    sy_ = area_.height() / (double(view.yMax) - view.yMin);
}

void PainterCanvas::setDeviceScale() {
    flush();
    world_ = false;
}

// World or device units to painter coordinates, kept near the area.
QPointF PainterCanvas::map(PlotPoint p) const {
    double x = p.x, y = p.y;
    if (world_) {
        x = area_.left() + (x - view_.xMin) * sx_;
        y = area_.top() + (double(view_.yMax) - y) * sy_;
    } else {
        x += area_.left();
        y += area_.top();
    }
    if (!std::isfinite(x) || !std::isfinite(y)) return {area_.left() - kFarOutside, area_.top() - kFarOutside};
    x = std::clamp(x, area_.left() - kFarOutside, area_.right() + kFarOutside);
    y = std::clamp(y, area_.top() - kFarOutside, area_.bottom() + kFarOutside);
    return {x, y};
}

void PainterCanvas::line(PlotPoint from, PlotPoint to) {
    flush();
    lastPoint_ = map(to);
    painter_.drawLine(map(from), lastPoint_);
}

// A point that lies within a third of a device pixel of the run's last kept
// point only moves the run's end: every dropped point stays that close to the
// line drawn, and dense curves (20,000 points over 1,600 pixels) stroke fast.
void PainterCanvas::lineTo(PlotPoint to) {
    const QPointF p = map(to);
    if (run_.isEmpty()) {
        run_ << lastPoint_ << p;
        return;
    }
    const QPointF d = p - run_[run_.size() - 2];
    if (std::fabs(d.x()) < tolerance_ && std::fabs(d.y()) < tolerance_)
        run_.last() = p;
    else
        run_ << p;
}

// A point is a dot of the pen's width.
void PainterCanvas::point(PlotPoint at) {
    flush();
    lastPoint_ = map(at);
    painter_.drawPoint(lastPoint_);
}

// Text whose top left corner is at `at`.
void PainterCanvas::text(PlotPoint at, std::string_view text) {
    flush();
    const QPointF p = map(at);
    painter_.setFont(font_);
    const QFontMetricsF metrics(font_, painter_.device());
    painter_.drawText(QPointF(p.x(), p.y() + metrics.ascent()), QString::fromUtf8(text.data(), qsizetype(text.size())));
}

// The text's advance and line height in current units.
PlotPoint PainterCanvas::textSize(std::string_view text) {
    const QFontMetricsF metrics(font_, painter_.device());
    const QString s = QString::fromUtf8(text.data(), qsizetype(text.size()));
    const double w = metrics.horizontalAdvance(s), h = metrics.height();
    if (!world_) return {w, h};
    return {w / std::fabs(sx_), h / std::fabs(sy_)};
}

double PainterCanvas::scaleHeight() const {
    return world_ ? double(view_.yMin) - view_.yMax : area_.height();
}

void PainterCanvas::setFont(double points, bool bold) {
    flush();
    font_.setPointSizeF(points);
    font_.setBold(bold);
}

// Any picture Qt reads is drawn at its own size at the top left corner.
bool PainterCanvas::backgroundPicture(const std::string &path, std::string &reason) {
    flush();
    const QString file = QString::fromStdString(path);
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("wmf") || suffix == QLatin1String("rle") || suffix == QLatin1String("emf")) {
        reason = "Pictures of the ." + suffix.toStdString() +
                 " kind cannot be shown on Linux. Open a BMP, PNG, JPEG or SVG picture instead.";
        return false;
    }
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        reason = "The picture " + path + " cannot be read: " + reader.errorString().toStdString();
        return false;
    }
    const QSizeF size = image.deviceIndependentSize();
    painter_.drawImage(QRectF(area_.topLeft(), size), image);
    return true;
}

} // namespace nomix::gui
