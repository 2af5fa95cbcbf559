#pragma once
// Keyboard navigation: the Tab key visits a window's controls as the eye
// reads them (row by row from the top, left to right within a row, whatever
// order they were made in), and a control with the focus shows a mark.
class QColor;
class QPainter;
class QRect;
class QWidget;

// The focus mark: a dotted frame along the inside of the rectangle.
void DrawFocusMark(QPainter& painter, const QRect& rect, const QColor& colour);

// Chains the focusable controls of the window in reading order. A control
// belongs to the row of the first control whose height spans its middle.
// Only the outermost focusable widget of a compound one (a spin box, a
// combo box) is placed; explicitly hidden widgets (placeholders) are left
// out; controls on pages not shown now are placed as if shown.
void SetTabOrderByPlace(QWidget* window);
