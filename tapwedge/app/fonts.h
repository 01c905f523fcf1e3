#pragma once
// Fonts with Japanese glyphs for the program's windows.
#include <QFont>

namespace tapwedge::app {

// Makes a proportional font with Japanese glyphs the application's default, when one is
// installed (otherwise Qt's default stays and fontconfig supplies missing glyphs).
void InstallJapaneseUiFont();

// A fixed-pitch font with Japanese glyphs of the given pixel size.
QFont FixedJapaneseFont(int pixelSize);

}  // namespace tapwedge::app
