// The view rectangle of the graph window and how the user moves it: the home
// view from the settings, panning by a fifth of the home range, zooming to a
// dragged rectangle, zooming out, and (our addition) the wheel zoom about the
// pointer.
#pragma once

#include "shell/settings.h"
#include "tools/plotcanvas.h"

namespace nomix {

// The home view: the settings' "xMin", "xMax", "yMin", "yMax" evaluated by the
// engine (an empty text counts as 0).
PlotView homeView(const Settings &settings);

// Pan directions of the four arrow buttons, by index.
enum class PanDirection { Up = 0, Right = 1, Down = 2, Left = 3 };

// The view moved by a fifth of the home view's width or height.
PlotView panned(const PlotView &view, const PlotView &home, PanDirection direction);

// The view after a drag from `start` to `end` (world units): per axis the
// smaller coordinate becomes the minimum; an axis whose two coordinates are
// equal keeps its limits, so a click without a drag changes nothing.
PlotView dragZoomed(const PlotView &view, PlotPoint start, PlotPoint end);

// The view grown on every side by a fifth of the home range.
PlotView zoomedOut(const PlotView &view, const PlotView &home);

// The view scaled by `factor` (below 1 zooms in) about the point `at`, which
// stays where it is on the screen.
PlotView wheelZoomed(const PlotView &view, PlotPoint at, double factor);

} // namespace nomix
