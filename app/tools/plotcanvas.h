// The surface a plot pass draws on. The pass only knows these primitives, so
// the same pass paints the graph window, a printed page, an SVG file, or a
// recording that tests read back. Coordinates are either device units (the
// canvas's own pixels or points, origin top left, y down) or, after
// setUserScale, world units of the view (y up).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nomix {

struct PlotPoint {
    double x = 0, y = 0;
    bool operator==(const PlotPoint &) const = default;
};

// Colours as the classic &HBBGGRR number (blue in the high byte).
using BgrColor = uint32_t;
inline constexpr BgrColor kGridGrey = 0x808080;

// The view rectangle in world units: top left is (xMin, yMax).
struct PlotView {
    float xMin = -10, xMax = 10, yMin = -7.5f, yMax = 7.5f;
    bool operator==(const PlotView &) const = default;
};

class PlotCanvas {
public:
    virtual ~PlotCanvas() = default;

    // Clears the whole surface to its background and forgets the background picture.
    virtual void clear() = 0;
    // The foreground colour of the following lines, points and texts; the
    // default is the surface's own text colour.
    virtual void setColor(BgrColor color) = 0;
    virtual void setDefaultColor() = 0;
    // World units: the view's corners map onto the surface's corners.
    virtual void setUserScale(const PlotView &view) = 0;
    // Device units again.
    virtual void setDeviceScale() = 0;

    // Lines and points leave the pen at their end point; lineTo starts at the pen.
    virtual void line(PlotPoint from, PlotPoint to) = 0;
    virtual void lineTo(PlotPoint to) = 0;
    virtual void point(PlotPoint at) = 0;

    // One line of text whose top left corner is at `at` (current units).
    virtual void text(PlotPoint at, std::string_view text) = 0;
    // Width and height of the text in current units (always positive).
    virtual PlotPoint textSize(std::string_view text) = 0;
    // The drawing area in device units.
    virtual PlotPoint deviceSize() const = 0;
    // The drawing area's height in current units (negative in world units).
    virtual double scaleHeight() const = 0;
    virtual double fontSize() const = 0;
    virtual void setFont(double points, bool bold) = 0;

    // Shows a picture file as the background. False with the reason the user
    // is to read when the file cannot be shown.
    virtual bool backgroundPicture(const std::string &path, std::string &reason) = 0;
    // The printer's page: tick labels stop above its last text line.
    virtual bool isPrinter() const { return false; }
};

// Remembers every primitive as a line of text in world or device units, for tests:
//   "clear", "color 808080", "default color", "user -10 10 7.5 -7.5", "device",
//   "line x1 y1 x2 y2", "lineto x y", "point x y", "text x y TEXT", "font 10 bold",
//   "picture PATH".
// Text is 6 device units a character wide and 12 high; the surface is `size` big.
class RecordingCanvas : public PlotCanvas {
public:
    explicit RecordingCanvas(PlotPoint size = {454, 303}, bool printer = false)
        : size_(size), printer_(printer) {}

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
    PlotPoint deviceSize() const override { return size_; }
    double scaleHeight() const override;
    double fontSize() const override { return fontSize_; }
    void setFont(double points, bool bold) override;
    bool backgroundPicture(const std::string &path, std::string &reason) override;
    bool isPrinter() const override { return printer_; }

    const std::vector<std::string> &records() const { return records_; }
    // The records that start with `prefix` ("line", "text", ...).
    std::vector<std::string> recordsOf(std::string_view prefix) const;
    // The pen position in current units.
    PlotPoint pen() const { return pen_; }

private:
    void record(std::string line) { records_.push_back(std::move(line)); }

    PlotPoint size_;
    bool printer_;
    bool user_ = false;
    PlotView view_;
    PlotPoint pen_;
    double fontSize_ = 8;
    std::vector<std::string> records_;
};

} // namespace nomix
