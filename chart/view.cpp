#include "chart/view.h"

#include "chart/scale.h"
#include "readings/spans.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace hmx::chart {

namespace {

constexpr double ZoomStep = 0.8;          // span factor of one wheel notch or key press
constexpr double PanStep = 0.1;           // part of the span one arrow key moves
constexpr double MinTimeSpan = Second;    // deepest zoom: labels are whole seconds
constexpr double MaxTimeSpan = 100000;    // days
constexpr int FollowPixels = 2;           // a right end this close to the newest point follows it
constexpr int ZoomMinPixels = 3;          // a narrower dragged rectangle leaves that axis alone

// Keeps the span of [lo, hi] within [minSpan, maxSpan] around its middle; false when the
// result is not a finite range.
bool ClampSpan(double& lo, double& hi, double minSpan, double maxSpan)
{
    const double span = std::clamp(hi - lo, minSpan, maxSpan);
    if (span != hi - lo) {
        const double mid = lo / 2 + hi / 2;
        lo = mid - span / 2;
        hi = mid + span / 2;
    }
    return std::isfinite(lo) && std::isfinite(hi);
}

// Newest X of the lines that count in the ranges.
MinMax NewestTimes(const ChartWidgetPrivate& d)
{
    MinMax times;
    for (std::size_t i = 0; i < d.lineCount(); ++i) {
        if (d.lineCounts(i))
            times.add(d.line(i).points().lastX());
    }
    return times;
}

// The layout without overlays, after a range update: what a view change starts from.
ChartLayout CurrentLayout(ChartWidgetPrivate& d)
{
    UpdateRanges(d);
    return LayoutChart(d, d.q->size(), false);
}

void SetTimeView(ChartWidgetPrivate& d, double lo, double hi)
{
    if (!ClampSpan(lo, hi, MinTimeSpan, MaxTimeSpan))
        return;
    AxisRange& time = d.view.time;
    time.min = lo;
    time.max = hi;
    time.automatic = false;
    // A right end at (or past) the newest point keeps following it.
    const MinMax newest = NewestTimes(d);
    const double pixel = (hi - lo) / std::max(1, LayoutChart(d, d.q->size(), false).plot.width());
    d.view.following = !newest.empty() && hi >= newest.hi - FollowPixels * pixel;
    d.view.followGap = d.view.following ? std::max(0.0, hi - newest.hi) : 0;
    d.q->update();
}

void SetValueView(ChartWidgetPrivate& d, double lo, double hi)
{
    const double magnitude = std::max({1.0, std::abs(lo), std::abs(hi)});
    if (!ClampSpan(lo, hi, magnitude * 1e-9, 1e12))
        return;
    d.view.value = {lo, hi, false};
    d.q->update();
}

void ZoomTime(ChartWidgetPrivate& d, double factor, double anchor)
{
    const ChartLayout L = CurrentLayout(d);
    SetTimeView(d, anchor - (anchor - L.timeMin) * factor, anchor + (L.timeMax - anchor) * factor);
}

void ZoomValues(ChartWidgetPrivate& d, double factor, double anchor)
{
    const ChartLayout L = CurrentLayout(d);
    SetValueView(d, anchor - (anchor - L.valueMin) * factor, anchor + (L.valueMax - anchor) * factor);
}

void PanBy(ChartWidgetPrivate& d, double timeFraction, double valueFraction)
{
    const ChartLayout L = CurrentLayout(d);
    if (timeFraction != 0) {
        const double shift = timeFraction * (L.timeMax - L.timeMin);
        SetTimeView(d, L.timeMin + shift, L.timeMax + shift);
    }
    if (valueFraction != 0) {
        const double shift = valueFraction * (L.valueMax - L.valueMin);
        SetValueView(d, L.valueMin + shift, L.valueMax + shift);
    }
}

// The legend entry under pos, or -1.
int LegendEntryAt(const ChartLayout& L, QPoint pos)
{
    for (std::size_t i = 0; i < L.legendEntries.size(); ++i) {
        if (L.legendEntries[i].contains(pos))
            return static_cast<int>(i);
    }
    return -1;
}

void ToggleLine(ChartWidgetPrivate& d, int index)
{
    LineSeriesPrivate& line = d.line(static_cast<std::size_t>(index));
    line.visible = !line.visible;
    d.q->update();
}

} // namespace

void UpdateRanges(ChartWidgetPrivate& d)
{
    AxisRange& time = d.view.time;
    AxisRange& value = d.view.value;
    MinMax times;
    for (std::size_t i = 0; i < d.lineCount(); ++i) {
        if (d.lineCounts(i)) {
            times.add(d.line(i).points().firstX());
            times.add(d.line(i).points().lastX());
        }
    }
    if (time.automatic) {
        time.min = times.empty() ? 0 : times.lo;
        time.max = times.empty() ? 0 : times.hi;
    } else if (d.view.following && !times.empty()) {
        const double shift = times.hi + d.view.followGap - time.max;
        time.min += shift;
        time.max += shift;
    }
    // The values drawn in the shown time range, with the segments reaching in; with an
    // automatic time axis that is every value. Each value axis over its own lines.
    const Range shown = DrawnRange(time.min, time.max, 60 * Second);
    for (const bool right : {false, true}) {
        AxisRange& axis = right ? d.view.right : value;
        if (!axis.automatic)
            continue;
        MinMax range;
        for (std::size_t i = 0; i < d.lineCount(); ++i) {
            if (d.lineDrawnOn(i, right))
                range.add(ValueExtent(d.line(i).points(), shown.lo, shown.hi));
        }
        axis.min = range.empty() ? 0 : range.lo;
        axis.max = range.empty() ? 0 : range.hi;
    }
}

void Navigate(ChartWidgetPrivate& d, Navigation operation)
{
    auto zoomAboutMiddle = [&d](bool values, double factor) {
        const ChartLayout L = CurrentLayout(d);
        if (values)
            ZoomValues(d, factor, (L.valueMin + L.valueMax) / 2);
        else
            ZoomTime(d, factor, (L.timeMin + L.timeMax) / 2);
    };
    switch (operation) {
    case Navigation::ZoomInTime: return zoomAboutMiddle(false, ZoomStep);
    case Navigation::ZoomOutTime: return zoomAboutMiddle(false, 1 / ZoomStep);
    case Navigation::ZoomInValues: return zoomAboutMiddle(true, ZoomStep);
    case Navigation::ZoomOutValues: return zoomAboutMiddle(true, 1 / ZoomStep);
    case Navigation::PanLeft: return PanBy(d, -PanStep, 0);
    case Navigation::PanRight: return PanBy(d, PanStep, 0);
    case Navigation::PanUp: return PanBy(d, 0, PanStep);
    case Navigation::PanDown: return PanBy(d, 0, -PanStep);
    case Navigation::Reset: return ResetView(d);
    }
}

void ResetView(ChartWidgetPrivate& d)
{
    d.view.time.automatic = true;
    d.view.value.automatic = true;
    d.view.following = false;
    d.view.drag = ViewState::Drag::None;
    d.view.dragButton = Qt::NoButton;
    d.q->unsetCursor();
    d.q->update();
}

void MousePressed(ChartWidgetPrivate& d, QMouseEvent* event)
{
    ViewState& v = d.view;
    UpdateRanges(d);
    const ChartLayout L = LayoutChart(d, d.q->size(), true);
    const QPoint pos = event->position().toPoint();
    if (v.drag != ViewState::Drag::None)
        return;  // a second button during a drag
    if (event->button() == Qt::LeftButton) {
        if (L.manualSign.contains(pos))
            return ResetView(d);
        if (const int entry = LegendEntryAt(L, pos); entry >= 0)
            return ToggleLine(d, entry);
    }
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)
        return;
    v.drag = ViewState::Drag::Pending;
    v.dragButton = event->button();
    v.dragZooms = event->button() == Qt::RightButton || (event->modifiers() & Qt::ShiftModifier);
    v.pressPos = pos;
    v.dragPos = pos;
    v.pressLayout = LayoutChart(d, d.q->size(), false);
    v.pressValueAutomatic = v.value.automatic;
    if (!L.plot.contains(pos) && event->button() == Qt::LeftButton)
        v.drag = ViewState::Drag::None;  // dragging starts inside the plot
}

void MouseMoved(ChartWidgetPrivate& d, QMouseEvent* event)
{
    ViewState& v = d.view;
    const QPoint pos = event->position().toPoint();
    const bool wasInPlot = v.hover && v.drawnPlot.contains(v.hoverPos);
    v.hover = true;
    v.hoverPos = pos;
    if (v.drag == ViewState::Drag::Pending && (pos - v.pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        v.drag = v.dragZooms ? ViewState::Drag::Zoom : ViewState::Drag::Pan;
        if (v.drag == ViewState::Drag::Pan)
            d.q->setCursor(Qt::ClosedHandCursor);
    }
    if (v.drag == ViewState::Drag::Pan) {
        // Relative to where the drag began, so no rounding piles up over a long drag.
        const ChartLayout& L = v.pressLayout;
        const PlotMap map(L);
        const double dt = map.timeBy(pos.x() - v.pressPos.x());
        SetTimeView(d, L.timeMin - dt, L.timeMax - dt);
        if (!v.pressValueAutomatic) {
            const double dv = map.valueBy(pos.y() - v.pressPos.y());
            SetValueView(d, L.valueMin + dv, L.valueMax + dv);
        }
    } else if (v.drag == ViewState::Drag::Zoom) {
        v.dragPos = pos;
    }
    if (wasInPlot || v.drawnPlot.contains(pos) || v.drag == ViewState::Drag::Zoom)
        d.q->update();
}

void MouseReleased(ChartWidgetPrivate& d, QMouseEvent* event)
{
    ViewState& v = d.view;
    if (event->button() != v.dragButton)
        return;
    const ViewState::Drag drag = v.drag;
    v.drag = ViewState::Drag::None;
    v.dragButton = Qt::NoButton;
    d.q->unsetCursor();
    if (drag == ViewState::Drag::Zoom) {
        const ChartLayout& L = v.pressLayout;
        const PlotMap map(L);
        const QRect r = QRect(v.pressPos, event->position().toPoint()).normalized().intersected(L.plot);
        if (r.width() >= ZoomMinPixels)
            SetTimeView(d, map.timeAt(r.left()), map.timeAt(r.right() + 1));
        if (r.height() >= ZoomMinPixels)
            SetValueView(d, map.valueAt(r.bottom() + 1), map.valueAt(r.top()));
        d.q->update();
    } else if (drag == ViewState::Drag::Pending && event->button() == Qt::RightButton) {
        d.showMenu(event->globalPosition().toPoint());
    }
}

void MouseDoubleClicked(ChartWidgetPrivate& d, QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const ChartLayout L = LayoutChart(d, d.q->size(), true);
    const QPoint pos = event->position().toPoint();
    if (const int entry = LegendEntryAt(L, pos); entry >= 0)
        ToggleLine(d, entry);  // the second click of a quick pair
    else if (L.plot.contains(pos) || L.manualSign.contains(pos))
        ResetView(d);
}

bool WheelTurned(ChartWidgetPrivate& d, QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    const int notches = delta.y() != 0 ? delta.y() : delta.x();
    if (notches == 0)
        return false;
    const ChartLayout L = CurrentLayout(d);
    const PlotMap map(L);
    const double factor = std::pow(ZoomStep, notches / 120.0);
    const QPointF pos = event->position();
    if (event->modifiers() & Qt::ControlModifier)
        ZoomValues(d, factor, map.valueAt(std::clamp(pos.y(), double(L.plot.top()), double(L.plot.bottom() + 1))));
    else
        ZoomTime(d, factor, map.timeAt(std::clamp(pos.x(), double(L.plot.left()), double(L.plot.right() + 1))));
    return true;
}

bool KeyPressed(ChartWidgetPrivate& d, QKeyEvent* event)
{
    const bool values = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        Navigate(d, values ? Navigation::ZoomInValues : Navigation::ZoomInTime);
        return true;
    case Qt::Key_Minus:
        Navigate(d, values ? Navigation::ZoomOutValues : Navigation::ZoomOutTime);
        return true;
    case Qt::Key_Left: Navigate(d, Navigation::PanLeft); return true;
    case Qt::Key_Right: Navigate(d, Navigation::PanRight); return true;
    case Qt::Key_Up: Navigate(d, Navigation::PanUp); return true;
    case Qt::Key_Down: Navigate(d, Navigation::PanDown); return true;
    case Qt::Key_Home:
    case Qt::Key_Escape:
        Navigate(d, Navigation::Reset);
        return true;
    default:
        return false;
    }
}

void MouseLeft(ChartWidgetPrivate& d)
{
    d.view.hover = false;
    d.q->update();
}

} // namespace hmx::chart
