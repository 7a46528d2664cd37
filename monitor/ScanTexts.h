// Texts and small steps shared by the scan and its reactions: the messages of
// the status line and the router guess of the selected network.
#pragma once

#include <QComboBox>
#include <QString>

#include "net/ArpProbe.h"

namespace rm {

inline const QString kRouterChangedText = QStringLiteral("检测到AP已更换，扫描新AP");
inline const QString kNoNetworkText = QStringLiteral("未找到本机网络");
inline const QString kUnknownVerdict = QStringLiteral("未知");

// The router is taken to be host 1 of the selected network; empty when no
// network is selected (the machine has no IPv4 address).
inline QString RouterGuess(const QComboBox* combo) {
    if (combo->currentIndex() < 0) return QString();
    return combo->currentText() + QStringLiteral("1");
}

}  // namespace rm
