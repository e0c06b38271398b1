#include "resources/icon.h"

#include <QFile>

// Registered here, in the static library that holds it, so the linker keeps it.
static void InitIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(zolicon);
        return true;
    }();
    (void)done;
}

namespace zol {

QIcon ProgramIcon()
{
    InitIconResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString path = QStringLiteral(":/icons/zol-%1.png").arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}

}  // namespace zol
