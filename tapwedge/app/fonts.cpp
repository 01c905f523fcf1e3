#include "app/fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStringList>

namespace tapwedge::app {
namespace {

// The first installed family of the list, or "" when none is.
QString FirstInstalled(const QStringList& families) {
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families) {
        if (installed.contains(family, Qt::CaseInsensitive)) return family;
    }
    return QString();
}

}  // namespace

void InstallJapaneseUiFont() {
    const QString family =
        FirstInstalled({"IPAPGothic", "Noto Sans CJK JP", "IPAGothic", "VL PGothic"});
    if (family.isEmpty()) return;
    QFont font = QApplication::font();
    font.setFamily(family);
    QApplication::setFont(font);
}

QFont FixedJapaneseFont(int pixelSize) {
    QFont font(FirstInstalled({"IPAGothic", "Noto Sans Mono CJK JP", "VL Gothic"}));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace tapwedge::app
