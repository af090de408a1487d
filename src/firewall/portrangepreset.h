#pragma once

// The five compiled-in port ranges the outbound block rule can hold, and the
// comparison of a rule's remote-port list with them.

#include <QString>

#include <array>

struct PortRangePreset
{
    QString name; // shown to the user: "Диапазон 1" ...
    QString ports; // remote ports blocked, in the firewall's syntax: "9001-9100,9199-9999"
};

namespace firewall {

inline constexpr int kPresetCount = 5;

const std::array<PortRangePreset, kPresetCount> &portRangePresets();

// Canonical form of a port list, so that lists differing only in order, line
// breaks and blanks compare equal: parts reduced to digits and hyphens, sorted
// as strings, joined by ",".
QString normalizePortList(const QString &ports);

// A port list as the help text shows it: "9001-9100, 9199-9999".
QString displayPortList(const QString &ports);

// Index of the first preset whose list equals ports after normalisation, or -1.
int matchingPreset(const QString &ports);

// True when ports is a non-empty comma-separated list of ports (1-65535) and
// ascending ranges "a-b", with nothing else: the only text allowed to reach a
// firewall command.
bool isValidPortList(const QString &ports);

} // namespace firewall
