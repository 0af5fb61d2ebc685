#include "tools/plotview.h"

#include <algorithm>
#include <cmath>

#include "shell/binding.h"

namespace nomix {

// The four home texts evaluated by the engine.
PlotView homeView(const Settings &settings) {
    Binding &b = binding();
    return {static_cast<float>(b.EvalDbl(settings.xMin)), static_cast<float>(b.EvalDbl(settings.xMax)),
            static_cast<float>(b.EvalDbl(settings.yMin)), static_cast<float>(b.EvalDbl(settings.yMax))};
}

// A fifth of the home range in the direction of the button.
PlotView panned(const PlotView &view, const PlotView &home, PanDirection direction) {
    const float dx = (home.xMax - home.xMin) / 5, dy = (home.yMax - home.yMin) / 5;
    PlotView v = view;
    switch (direction) {
    case PanDirection::Up: v.yMin += dy, v.yMax += dy; break;
    case PanDirection::Right: v.xMin += dx, v.xMax += dx; break;
    case PanDirection::Down: v.yMin -= dy, v.yMax -= dy; break;
    case PanDirection::Left: v.xMin -= dx, v.xMax -= dx; break;
    }
    return v;
}

// The dragged rectangle, ordered per axis; an axis of no extent is kept.
PlotView dragZoomed(const PlotView &view, PlotPoint start, PlotPoint end) {
    PlotView v = view;
    const float x0 = static_cast<float>(start.x), x1 = static_cast<float>(end.x);
    const float y0 = static_cast<float>(start.y), y1 = static_cast<float>(end.y);
    if (x0 != x1) v.xMin = std::min(x0, x1), v.xMax = std::max(x0, x1);
    if (y0 != y1) v.yMin = std::min(y0, y1), v.yMax = std::max(y0, y1);
    return v;
}

// A fifth of the home range more on every side.
PlotView zoomedOut(const PlotView &view, const PlotView &home) {
    const float dx = (home.xMax - home.xMin) / 5, dy = (home.yMax - home.yMin) / 5;
    return {view.xMin - dx, view.xMax + dx, view.yMin - dy, view.yMax + dy};
}

// Scales both axes about `at`.
PlotView wheelZoomed(const PlotView &view, PlotPoint at, double factor) {
    if (!(factor > 0) || !std::isfinite(factor)) return view;
    auto scale = [&](float lo, float hi, double c, float &outLo, float &outHi) {
        const float newLo = static_cast<float>(c + (lo - c) * factor);
        const float newHi = static_cast<float>(c + (hi - c) * factor);
        // Past the resolution of single precision the view stays as it is.
        if (newLo < newHi && std::isfinite(newLo) && std::isfinite(newHi)) outLo = newLo, outHi = newHi;
    };
    PlotView v = view;
    scale(view.xMin, view.xMax, at.x, v.xMin, v.xMax);
    scale(view.yMin, view.yMax, at.y, v.yMin, v.yMax);
    return v;
}

} // namespace nomix
