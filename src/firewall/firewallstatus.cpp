#include "firewall/firewallstatus.h"

namespace firewall {

StatusView statusView(RuleOutcome outcome)
{
    switch (outcome) {
    case RuleOutcome::Absent:
        return {
            QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"), QStringLiteral("color:#fbbf24; font-weight:600;"), false};
    case RuleOutcome::PresentWithoutPorts:
        return {QStringLiteral("ПРАВИЛО ЕСТЬ, НО НЕТ ПОРТОВ"),
            QStringLiteral("color:#f97316; font-weight:600;"), false};
    case RuleOutcome::Matching:
        return {QStringLiteral("ПРАВИЛО АКТИВНО"), QStringLiteral("color:#4caf50; font-weight:600;"), true};
    case RuleOutcome::NotMatching:
        break;
    }
    return {QStringLiteral("ПРАВИЛО НЕ СООТВЕТСТВУЕТ ДИАПАЗОНАМ"),
        QStringLiteral("color:#f97316; font-weight:600;"), false};
}

StatusView checkingStatusView()
{
    return {QStringLiteral("ПРОВЕРКА СТАТУСА..."), QStringLiteral("color:#cbd5e1;"), false};
}

QByteArray presentIconSvg()
{
    return QByteArrayLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" height=\"24\" viewBox=\"0 0 24 24\">"
        "<circle cx=\"12\" cy=\"12\" r=\"10\" fill=\"#4caf50\" fill-opacity=\"0.15\" stroke=\"#4caf50\" "
        "stroke-width=\"2\"/>"
        "<path d=\"M7 13l3 3 7-7\" fill=\"none\" stroke=\"#4caf50\" stroke-width=\"3\" "
        "stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\"/>"
        "</svg>");
}

QByteArray absentIconSvg()
{
    return QByteArrayLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" height=\"24\" viewBox=\"0 0 24 24\">"
        "<circle cx=\"12\" cy=\"12\" r=\"10\" fill=\"#f44336\" fill-opacity=\"0.15\" stroke=\"#f44336\" "
        "stroke-width=\"2\"/>"
        "<line x1=\"8\" y1=\"8\" x2=\"16\" y2=\"16\" stroke=\"#f44336\" stroke-width=\"3\" "
        "stroke-linecap=\"round\"/>"
        "<line x1=\"16\" y1=\"8\" x2=\"8\" y2=\"16\" stroke=\"#f44336\" stroke-width=\"3\" "
        "stroke-linecap=\"round\"/>"
        "</svg>");
}

} // namespace firewall
