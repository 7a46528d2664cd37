// Conversions between IPv4 values, IPv4 text and MAC text.
#include "net/AddressText.h"

#include <arpa/inet.h>

namespace rm {

QString Ipv4ToText(const uint8_t value[4]) {
    QString text;
    for (int i = 0; i < 4; ++i) {
        text += QString::number(value[i]);
        text += QLatin1Char('.');
    }
    text.chop(1);
    return text;
}

QString MacBytesToText(const uint8_t* bytes, uint32_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(int(count) * 3);
    for (uint32_t i = 0; i < count; ++i) {
        text += QLatin1Char(kDigits[bytes[i] >> 4]);
        text += QLatin1Char(kDigits[bytes[i] & 0x0F]);
        text += QLatin1Char('-');
    }
    if (!text.isEmpty()) text.chop(1);
    return text;
}

uint32_t InetAddr(const QString& text) {
    // The text crosses into the C library in the 8-bit character set, as a C
    // string: like the original, it ends at the first NUL character.
    const QByteArray bytes = text.toLocal8Bit();
    return inet_addr(bytes.constData());
}

}  // namespace rm
