// The window's night-vision mode: one switch for the whole program's widgets. The window sets it
// from its menu and its stored setting; plots, dial and state panels look at it when they paint.
#pragma once

#include <QColor>
#include <QPalette>

namespace NightMode {
bool Active();
// Sets the mode; the caller repaints (the main window does so for all its widgets).
void SetActive(bool active);
// The palette of the widgets at night: dim red texts and frames on black.
QPalette Palette();
// A colour as it is shown in the mode of the moment (unchanged by day).
QColor Shown(const QColor& day);
} // namespace NightMode
