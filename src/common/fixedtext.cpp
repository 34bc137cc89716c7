#include "common/fixedtext.h"

#include <algorithm>
#include <QByteArray>

QString DecodeFixedText(const char* reversedHex)
{
    QByteArray bytes;
    const QByteArray hex(reversedHex);
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2) {
        bool ok = false;
        const uint value = hex.mid(i, 2).toUInt(&ok, 16);
        if (!ok)
            break;
        bytes.append(static_cast<char>(value));
    }
    std::reverse(bytes.begin(), bytes.end());
    return QString::fromUtf8(bytes);
}
