// The program's own mouse cursors (numbers 2001 to 2031), drawn at start and
// kept in a cursor table like the screen's.
#pragma once

#include <QCursor>

namespace zol {

constexpr int crFirstCursor = 2001;
constexpr int crLastCursor = 2031;
constexpr int crHandPoint = 2005;  // the sliders' hand over the thumb

// Draws and registers the cursors once; later calls do nothing. Needs a
// QGuiApplication.
void InstallCursors();
// A registered cursor, a standard shape for the standard numbers (0 default,
// -2 arrow, -3 cross, ...), or the arrow for an unknown number.
QCursor ScreenCursor(int id);

}  // namespace zol
