#include "tools/plotcanvas.h"

#include <cmath>
#include <cstdio>

namespace nomix {

namespace {

// A number as the records show it: short, with no trailing zeros.
std::string num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v == 0 ? 0.0 : v);
    return text;
}

std::string pair(PlotPoint p) { return num(p.x) + " " + num(p.y); }

} // namespace

void RecordingCanvas::clear() { record("clear"); }

// Each primitive below becomes one record (see the class comment).
void RecordingCanvas::setColor(BgrColor color) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", unsigned(color));
    record(std::string("color ") + text);
}

void RecordingCanvas::setDefaultColor() { record("default color"); }

void RecordingCanvas::setUserScale(const PlotView &view) {
    user_ = true;
    view_ = view;
    record("user " + num(view.xMin) + " " + num(view.yMax) + " " + num(view.xMax) + " " +
           num(view.yMin));
}

void RecordingCanvas::setDeviceScale() {
    user_ = false;
    record("device");
}

void RecordingCanvas::line(PlotPoint from, PlotPoint to) {
    record("line " + pair(from) + " " + pair(to));
    pen_ = to;
}

void RecordingCanvas::lineTo(PlotPoint to) {
    record("lineto " + pair(to));
    pen_ = to;
}

void RecordingCanvas::point(PlotPoint at) {
    record("point " + pair(at));
    pen_ = at;
}

void RecordingCanvas::text(PlotPoint at, std::string_view text) {
    record("text " + pair(at) + " " + std::string(text));
}

// 6 by 12 device units a character, converted to the current scale.
PlotPoint RecordingCanvas::textSize(std::string_view text) {
    PlotPoint device{6.0 * double(text.size()), 12};
    if (!user_) return device;
    return {device.x * std::fabs(double(view_.xMax) - view_.xMin) / size_.x,
            device.y * std::fabs(double(view_.yMax) - view_.yMin) / size_.y};
}

double RecordingCanvas::scaleHeight() const {
    return user_ ? double(view_.yMin) - view_.yMax : size_.y;
}

void RecordingCanvas::setFont(double points, bool bold) {
    fontSize_ = points;
    record("font " + num(points) + (bold ? " bold" : ""));
}

bool RecordingCanvas::backgroundPicture(const std::string &path, std::string &) {
    record("picture " + path);
    return true;
}

std::vector<std::string> RecordingCanvas::recordsOf(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const std::string &r : records_)
        if (r.compare(0, prefix.size(), prefix) == 0 &&
            (r.size() == prefix.size() || r[prefix.size()] == ' '))
            out.push_back(r);
    return out;
}

} // namespace nomix
