#include "platform/errors.h"

namespace zol {

EMMMCIError EMMMCIError::FromCode(int code, const QString& systemText)
{
    if (systemText.isEmpty())
        return EMMMCIError(code, QStringLiteral("MMSystem error: %1").arg(code));
    return EMMMCIError(code, systemText.left(1023));
}

}  // namespace zol
