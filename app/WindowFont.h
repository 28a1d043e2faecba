// The window's font: the designed "MS Sans Serif" where the system's has every character
// the window shows and its texts fit where they were laid out, otherwise the next face
// of kWindowFamilies that does.
#pragma once

#include <QFont>
#include <QList>

class QWidget;

// The faces the window tries, in order: the designed one, its TrueType twin, and one with
// its metrics that Linux has.
inline constexpr const char *kWindowFamilies[] = {"MS Sans Serif", "Microsoft Sans Serif",
                                                  "Liberation Sans"};

// The faces of kWindowFamilies that this system has, at the window's size; the last of
// them where it has none, for the system to stand in for.
QList<QFont> windowFontCandidates();

// Whether the window as built shows every text in its own font, with no character
// taken from another face, each label clear of its neighbours and inside its parent,
// and no line taller than its label.
bool showsWholly(const QWidget *window);
