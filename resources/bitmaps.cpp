#include "resources/bitmaps.h"

#include <QFile>

// The resource collections live in this static library; registering them here
// keeps the linker from dropping them.
static void InitBitmapResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(ledglyphs);
        Q_INIT_RESOURCE(switchglyphs);
        return true;
    }();
    (void)done;
}

namespace zol {

QImage LoadBitmapResource(const QString& name)
{
    InitBitmapResources();
    const QString path = QStringLiteral(":/bitmaps/") + name;
    if (name.isEmpty() || !QFile::exists(path))
        return QImage();
    QImage image(path);
    if (image.isNull())
        return image;
    return image.convertToFormat(QImage::Format_RGB32);
}

}  // namespace zol
