// Controls built alike on every page: labels one line high and as wide as their text,
// cells that the tick or a key rewrites, and white panels with a lowered bevel.
#pragma once

#include <QRect>
#include <QString>
#include <cstdint>

// A page's client area as laid out, which its widgets must keep within whatever the style
// makes of the tabs around it.
inline constexpr QRect kPageArea(0, 0, 673, 356);

class QFrame;
class QLabel;
class QWidget;

// The numbered names that controls keep: numberedName("Label", 40) is "Label40".
QString numberedName(const char *prefix, int number);
// A label at (left, top) of its parent, one line high and as wide as its caption.
QLabel *makeLabel(QWidget *parent, const QString &name, int left, int top, const QString &caption);
// Sizes a label to its caption again, after a new text.
void fitLabel(QLabel *label);
// A cell that shows a number from 0 to maximum, as wide as the widest, starting at "0";
// accessibleName says what it shows ("CNT5 hodnota").
QLabel *makeCell(QWidget *parent, const QString &name, const QString &accessibleName, int left,
                 int top, uint32_t maximum);
// White, with a lowered bevel; like every Qt parent it clips its children.
QFrame *makeWhitePanel(QWidget *parent, const QString &name, int left, int top, int width,
                       int height);
