// What is shown: the automatic ranges, the zoom, pan and follow rules, and the
// mouse and keys mapped onto a few named navigation operations.
#pragma once

#include "chart/layout.h"

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace hmx::chart {

// Recomputes the automatic ranges, and moves a following time axis along with the
// newest point.
void UpdateRanges(ChartWidgetPrivate& d);

enum class Navigation {
    ZoomInTime, ZoomOutTime, ZoomInValues, ZoomOutValues,
    PanLeft, PanRight, PanUp, PanDown,
    Reset,
};

// An operation about the middle of the shown ranges (keys, the menu).
void Navigate(ChartWidgetPrivate& d, Navigation operation);
// Both axes automatic; ends any drag.
void ResetView(ChartWidgetPrivate& d);

// Input, forwarded by the widget's event handlers. Each returns false for an event
// it leaves to the widget's base class.
void MousePressed(ChartWidgetPrivate& d, QMouseEvent* event);
void MouseMoved(ChartWidgetPrivate& d, QMouseEvent* event);
void MouseReleased(ChartWidgetPrivate& d, QMouseEvent* event);
void MouseDoubleClicked(ChartWidgetPrivate& d, QMouseEvent* event);
bool WheelTurned(ChartWidgetPrivate& d, QWheelEvent* event);
bool KeyPressed(ChartWidgetPrivate& d, QKeyEvent* event);
void MouseLeft(ChartWidgetPrivate& d);

} // namespace hmx::chart
