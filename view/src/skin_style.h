// The client's dark look: colours, the style sheet shared by the dialogs and
// the layered-window opacity of each dialog.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>

class QWidget;

namespace orva::view::skin {

inline const QColor kBackground{24, 27, 32};
inline const QColor kPanel{33, 38, 45};
inline const QColor kButton{45, 51, 59};
inline const QColor kButtonHover{58, 66, 76};
inline const QColor kAccent{47, 129, 247};
inline const QColor kText{222, 226, 232};
inline const QColor kDimText{130, 138, 150};
inline const QColor kRecord{218, 54, 51};
inline const QColor kSound{63, 185, 80};

// Which Opacity/NN value each window uses (01 connect and 05 local setup are
// fixed; the rest are ours, one table with docs/DESKTOP.md and the local-setup
// dialog's labels, texts "dialog.lsetup.opacity.N").
enum class OpacitySlot {
  kConnect = 1,
  kRemoteSearch = 2,  // the search window and the viewers it opens
  kRemoteSetup = 3,
  kFirmware = 4,
  kLocalSetup = 5,
  kLocalPlayback = 6,
  kViewers = 7,  // local log viewer, open-image dialog, image viewer
  kPtz = 8,      // PTZ pad, preset and camera-menu panels
  kNotice = 9,
};
inline constexpr int kOpacitySlots = 9;

// Style sheet for dialogs and their controls.
QString DialogStyleSheet();
// Applies the style sheet and the layered opacity (0-255) to a top-level window.
void StyleDialog(QWidget* dialog, uint8_t opacity);

}  // namespace orva::view::skin
