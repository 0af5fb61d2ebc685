// The plot canvas on a QPainter: the graph window's backing image, the printed
// page (QPrinter, PDF included) and SVG files (QSvgGenerator) all draw the same
// pass through it. World units map onto the drawing area; runs of lineTo are
// drawn as one polyline, so long curves are stroked in one go with clean joins.
#pragma once

#include <QColor>
#include <QFont>
#include <QPolygonF>
#include <QRectF>

#include "tools/plotcanvas.h"

class QPainter;

namespace nomix::gui {

class PainterCanvas : public PlotCanvas {
public:
    // `area`: the drawing area in the painter's coordinates. The surface is
    // cleared to `background`; the default foreground is `foreground`.
    PainterCanvas(QPainter &painter, const QRectF &area, QColor background, QColor foreground,
                  bool printer = false);
    ~PainterCanvas() override;
    PainterCanvas(const PainterCanvas &) = delete;
    PainterCanvas &operator=(const PainterCanvas &) = delete;

    void clear() override;
    void setColor(BgrColor color) override;
    void setDefaultColor() override;
    void setUserScale(const PlotView &view) override;
    void setDeviceScale() override;
    void line(PlotPoint from, PlotPoint to) override;
    void lineTo(PlotPoint to) override;
    void point(PlotPoint at) override;
    void text(PlotPoint at, std::string_view text) override;
    PlotPoint textSize(std::string_view text) override;
    PlotPoint deviceSize() const override { return {area_.width(), area_.height()}; }
    double scaleHeight() const override;
    double fontSize() const override { return font_.pointSizeF(); }
    void setFont(double points, bool bold) override;
    bool backgroundPicture(const std::string &path, std::string &reason) override;
    bool isPrinter() const override { return printer_; }

    // Draws what lineTo collected; also done before every other primitive.
    void flush();

private:
    QPointF map(PlotPoint p) const;
    void usePen(const QColor &color);

    QPainter &painter_;
    QRectF area_;
    QColor background_, foreground_;
    bool printer_;
    bool world_ = false;
    PlotView view_;
    double sx_ = 1, sy_ = 1;  // device units per world unit
    QPointF lastPoint_;  // the pen: where the next lineTo starts when no run is open
    QPolygonF run_;
    double tolerance_ = 0.33;
    QFont font_;
};

} // namespace nomix::gui
