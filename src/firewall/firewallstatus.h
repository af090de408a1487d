#pragma once

// What the status line of the firewall manager shows: the four outcomes of a
// check, their texts, label styles and the two status icons (SVG text).

#include <QByteArray>
#include <QString>

namespace firewall {

enum class RuleOutcome
{
    Absent, // no rule of that name
    PresentWithoutPorts, // rule found, its remote ports could not be read
    Matching, // rule holds one of the presets
    NotMatching, // rule holds some other port list
};

struct StatusView
{
    QString text;
    QString styleSheet;
    bool presentIcon = false; // present (check) icon, else the absent (cross) icon
};

StatusView statusView(RuleOutcome outcome);

// Shown until the first check has run.
StatusView checkingStatusView();

QByteArray presentIconSvg();
QByteArray absentIconSvg();
inline QByteArray statusIconSvg(bool present)
{
    return present ? presentIconSvg() : absentIconSvg();
}

} // namespace firewall
