// Bitmaps the program carries, compiled in through the Qt resource system.
#pragma once

#include <QImage>
#include <QString>

namespace zol {

// The bitmap resource `name` (for example "LCD_13X21") as a 32-bit RGB image,
// or a null image when the program carries no bitmap of that name.
QImage LoadBitmapResource(const QString& name);

}  // namespace zol
