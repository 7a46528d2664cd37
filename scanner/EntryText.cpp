// Entry lines and the OUI vendor table.
#include "scanner/EntryText.h"

#include <QFile>

#include "core/AddressText.h"

namespace rm {

namespace {
constexpr int kAddressWidth = 15;  // the longest IPv4 text
constexpr int kVendorWidth = 22;
}  // namespace

QString EntryText(const QString& address, const std::optional<MacAddress>& mac,
                  const QString& vendor) {
    QString line = address.leftJustified(kAddressWidth) + QStringLiteral("  ");
    if (!mac) return line + QLatin1String(kAbsentMac.data(), qsizetype(kAbsentMac.size()));
    line += QString::fromStdString(MacBytesToText(mac->data(), uint32_t(mac->size())));
    if (!vendor.isEmpty()) {
        QString v = vendor.simplified();
        if (v.size() > kVendorWidth) v = v.left(kVendorWidth - 1).trimmed() + QChar(0x2026);
        line += QStringLiteral("  ") + v;
    }
    return line;
}

OuiVendors OuiVendors::Load(const QString& path) {
    OuiVendors table;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return table;
    // Lines of the form "002272     (base 16)\t\tAmerican Micro-Fuel Device Corp."
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        const int tag = line.indexOf("(base 16)");
        if (tag < 6) continue;
        bool ok = false;
        const uint32_t key = line.left(6).toUInt(&ok, 16);
        if (!ok) continue;
        const QString name = QString::fromUtf8(line.mid(tag + 9)).trimmed();
        if (!name.isEmpty()) table.names_.emplace(key, name);
    }
    return table;
}

const OuiVendors& OuiVendors::System() {
    static const OuiVendors table = Load(QString::fromLatin1(kDefaultPath));
    return table;
}

QString OuiVendors::Lookup(const MacAddress& mac) const {
    if (mac[0] & 0x02) return {};  // locally administered: no vendor owns it
    auto it = names_.find(uint32_t(mac[0]) << 16 | uint32_t(mac[1]) << 8 | mac[2]);
    return it == names_.end() ? QString() : it->second;
}

}  // namespace rm
