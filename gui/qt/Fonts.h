// The font families the window's design names, mapped onto installed faces.
#pragma once

#include <QStringList>

namespace rm {

// Faces tried, in order, for the Song family "宋体" and the Kai family "楷体_GB2312".
QStringList SongFaces();
QStringList KaiFaces();

// Makes "宋体" resolve to a Song/Ming face and "楷体_GB2312" to a Kai face, so the
// large labels and the start/stop buttons keep their style. Call once, after the
// QApplication exists and before the window is built.
void InstallFontSubstitutions();

}  // namespace rm
