// The program's icon, drawn at build time at every desktop size.
#pragma once

#include <QIcon>

namespace zol {

QIcon ProgramIcon();

}  // namespace zol
