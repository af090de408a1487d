#include "firewall/portrangepreset.h"

#include <QRegularExpression>
#include <QStringList>

namespace firewall {

const std::array<PortRangePreset, kPresetCount> &portRangePresets()
{
    static const std::array<PortRangePreset, kPresetCount> presets = {{
        {QStringLiteral("Диапазон 1"), QStringLiteral("9001-9100,9199-9999")},
        {QStringLiteral("Диапазон 2"), QStringLiteral("9001-9200,9299-9999")},
        {QStringLiteral("Диапазон 3"), QStringLiteral("9001-9300,9399-9999")},
        {QStringLiteral("Диапазон 4"), QStringLiteral("9001-9400,9499-9999")},
        {QStringLiteral("Диапазон 5"), QStringLiteral("9001-9500,9599-9999")},
    }};
    return presets;
}

QString normalizePortList(const QString &ports)
{
    QString text = ports;
    text.replace(QStringLiteral("\r\n"), QStringLiteral(","));
    text.replace(QLatin1Char('\n'), QLatin1Char(','));
    text.replace(QLatin1Char('\r'), QLatin1Char(','));
    text.remove(QLatin1Char(' '));
    text.remove(QLatin1Char('\t'));

    static const QRegularExpression notPortCharacter(QStringLiteral("[^0-9-]"));
    QStringList parts;
    const QStringList pieces = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        QString part = piece.trimmed();
        part.remove(notPortCharacter);
        if (!part.isEmpty())
            parts.append(part);
    }
    parts.sort(Qt::CaseSensitive);
    return parts.join(QLatin1Char(','));
}

QString displayPortList(const QString &ports)
{
    return ports.split(QLatin1Char(','), Qt::SkipEmptyParts).join(QStringLiteral(", "));
}

int matchingPreset(const QString &ports)
{
    const QString normalized = normalizePortList(ports);
    const auto &presets = portRangePresets();
    for (int i = 0; i < kPresetCount; ++i) {
        if (normalizePortList(presets[size_t(i)].ports) == normalized)
            return i;
    }
    return -1;
}

bool isValidPortList(const QString &ports)
{
    if (ports.isEmpty())
        return false;
    static const QRegularExpression part(QStringLiteral("^([0-9]{1,5})(?:-([0-9]{1,5}))?$"));
    const QStringList parts = ports.split(QLatin1Char(','));
    for (const QString &p : parts) {
        const auto m = part.match(p);
        if (!m.hasMatch())
            return false;
        const int first = m.captured(1).toInt();
        const int last = m.hasCaptured(2) ? m.captured(2).toInt() : first;
        if (first < 1 || last > 65535 || first > last)
            return false;
    }
    return true;
}

} // namespace firewall
