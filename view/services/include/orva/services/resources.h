// The resource library: every user-interface text and picture, in a binary
// Qt resource file of the project's own (OrvaRes.rcc) registered at start.
// Without it the client still runs (trace "OrvaRes.dll not found."), with
// the built-in fallbacks below.
//
// Text keys (docs/DESKTOP.md has the full list):
//   button.<name>, tip.<name>     captions and tooltips of the main window's
//                                 commands (names as the pictures below)
//   main.*, bar.*, view.*         main window, full-screen control bar, video
//   dialog.connect.*, dialog.lsetup.*, dialog.openimage.*, dialog.ok, ...
//   notice.<cat>.<code>.title/text, notice.ok / yes / no
//   log.main.<type>, log.sub.<type>.<sub> (type and sub as stored: 1, 2, 4,
//   8), log.title, column.<name>, unit.<name>, date.format.<n>
// Picture names: connect live audio rsearch rsetup firmup pan zoom play1-7
// lsearch lsetup save load osd arrange sound mute selaudio mike min quit
// full exitfull layout1/4/6/7/8/9/10/13/16 channel01-16, status marks
// markplay markreverse markpause markstepfwd markstepback markfast
// markfastrev markrec markaudio markmotion markalarm, and "orva7000" (the
// application icon). A suffix ".down", ".disabled" or ".hot" gives the
// pressed, disabled or hover look, drawn from the same picture.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include "orva/link/notices.h"

namespace orva::services {

class Resources {
 public:
  // Registers OrvaRes.rcc from next to the program, then the installed data
  // folder (../share/orva7000), then ORVA_RESOURCES. False when not found.
  static bool Load();
  static bool Loaded();
  // Registers this resource file instead (tests, tools). False when it
  // cannot be registered or is not the client's resource file.
  static bool LoadFrom(const QString& rccFile);
  // Unregisters the resource file; the fallbacks apply again.
  static void Unload();
  // Every skin picture name the resource file holds (without ".svg").
  static QStringList PictureNames();

  // Notice title and text for (category, code); falls back to the link
  // layer's table.
  static QString NoticeTitle(Notice notice);
  static QString NoticeText(Notice notice);
  // A label by key, e.g. "button.connect", "dialog.connect.title",
  // "log.main.1", "log.sub.2.4", "column.time". Returns the key when missing.
  static QString Text(const char* key);
  // The same, with `fallback` (UTF-8) when the library has no such key.
  static QString Text(const char* key, const char* fallback);
  // A skin picture by name, e.g. "connect", "live", "layout16",
  // "channel05"; normal / pressed / disabled states as name + ".down" etc.
  static QIcon Icon(const char* name);
  static QPixmap Picture(const char* name);
  // The idle and video-loss pictures: the files "ComMark.bmp" and
  // "VdoLoss.bmp" in the working directory, else the installed data folder,
  // else the copies inside the resource file. A null pixmap when none.
  static QPixmap IdlePicture();
  static QPixmap VideoLossPicture();
};

}  // namespace orva::services
