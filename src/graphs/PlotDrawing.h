// Drawing helpers shared by the plot's mouse figures and the wind dial. Each draws with the painter's
// pen colour, at the width it is given, and leaves the pen at width 1.
#pragma once

class QPainter;

// The lines (x - half, y)-(x + half, y) and (x, y - half)-(x, y + half).
void DrawCross(QPainter& p, int x, int y, int penWidth, int half);
void DrawShaft(QPainter& p, int x0, int y0, int x1, int y1, int penWidth);
// Two strokes of length `length` from the tip (x1, y1), 20 degrees on each side of the reversed shaft;
// nothing when the shaft has no length or length <= 0. Pen width 2.
void DrawArrowHead(QPainter& p, int x0, int y0, int x1, int y1, int length);
// A head 30 degrees wide filled with 31 strokes, its axis notched to three quarters of d.
void DrawNotchedArrowHead(QPainter& p, int x0, int y0, int x1, int y1, int d);
