// Substitutions from the Windows font names of the design to the Song and Kai
// faces of a Debian desktop (fonts-arphic-uming / -ukai, Noto CJK as fallback).
#include "gui/qt/Fonts.h"

#include <QFont>

namespace rm {

QStringList SongFaces() {
    return {QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
            QStringLiteral("AR PL SungtiL GB"), QStringLiteral("Noto Serif CJK SC"),
            QStringLiteral("Source Han Serif SC")};
}

QStringList KaiFaces() {
    return {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai TW"),
            QStringLiteral("AR PL KaitiM GB")};
}

void InstallFontSubstitutions() {
    // Both the GB names and their pinyin spellings, which other programs' settings use.
    for (const QString& name : {QStringLiteral("宋体"), QStringLiteral("SimSun"),
                                QStringLiteral("新宋体"), QStringLiteral("NSimSun")}) {
        QFont::insertSubstitutions(name, SongFaces());
    }
    for (const QString& name : {QStringLiteral("楷体_GB2312"), QStringLiteral("楷体"),
                                QStringLiteral("KaiTi_GB2312"), QStringLiteral("KaiTi")}) {
        QFont::insertSubstitutions(name, KaiFaces());
    }
}

}  // namespace rm
