#pragma once

// What a downloaded file must be before it may take the main program's place: a program
// for this system, and, when the release lists a digest, exactly the file that was listed.

#include <QByteArray>
#include <QString>

namespace ProgramCheck {

// ELF machine numbers and PE machine types used here.
inline constexpr quint16 kElfX86_64 = 62;
inline constexpr quint16 kElfAarch64 = 183;
inline constexpr quint16 kPeAmd64 = 0x8664;
inline constexpr quint16 kPeArm64 = 0xAA64;

// Why the leading bytes of a file are not an executable ELF file (64-bit, little-endian, for
// the given machine); empty when they are one.
QString elfProblem(const QByteArray &head, quint16 machine);

// Why the leading bytes of a file are not a Windows program ("MZ", a "PE" header, the given
// machine, an executable image that is not a DLL); empty when they are one.
QString peProblem(const QByteArray &head, quint16 machine);

// The check for the system this updater runs on (ELF for its own machine on Linux, PE on
// Windows). Reads the start of the file.
QString formatProblem(const QString &path);

// "sha256:<lower-case hex>" of the file's contents; empty when it cannot be read.
QString sha256Digest(const QString &path);

} // namespace ProgramCheck
