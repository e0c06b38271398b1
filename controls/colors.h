// Named colours of the classic desktop palette that the components use as
// defaults (button face, highlights, shadows).
#pragma once

#include <QColor>

namespace zol {

using TColor = QColor;

inline const QColor clBlack{0x00, 0x00, 0x00};
inline const QColor clWhite{0xFF, 0xFF, 0xFF};
inline const QColor clRed{0xFF, 0x00, 0x00};
inline const QColor clLime{0x00, 0xFF, 0x00};
inline const QColor clBlue{0x00, 0x00, 0xFF};
inline const QColor clNavy{0x00, 0x00, 0x80};
inline const QColor clGreen{0x00, 0x80, 0x00};
inline const QColor clMaroon{0x80, 0x00, 0x00};
inline const QColor clOlive{0x80, 0x80, 0x00};
inline const QColor clTeal{0x00, 0x80, 0x80};
inline const QColor clPurple{0x80, 0x00, 0x80};
inline const QColor clGray{0x80, 0x80, 0x80};
inline const QColor clSilver{0xC0, 0xC0, 0xC0};
inline const QColor clYellow{0xFF, 0xFF, 0x00};
inline const QColor clAqua{0x00, 0xFF, 0xFF};
inline const QColor clFuchsia{0xFF, 0x00, 0xFF};
// System colours, with their values on the classic desktop scheme.
inline const QColor clBtnFace{0xC0, 0xC0, 0xC0};
inline const QColor clBtnHighlight{0xFF, 0xFF, 0xFF};
inline const QColor clBtnShadow{0x80, 0x80, 0x80};
inline const QColor clBtnText{0x00, 0x00, 0x00};
inline const QColor clWindowFrame{0x00, 0x00, 0x00};
inline const QColor clWindow{0xFF, 0xFF, 0xFF};
inline const QColor clWindowText{0x00, 0x00, 0x00};

}  // namespace zol
