#pragma once

// Whether the TLS run-time libraries both programs need are available. On Windows
// they must lie in the program folder; elsewhere OpenSSL 3 must be loadable.

#include <QString>
#include <QStringList>

#include <optional>

namespace TlsCheck {

// "libssl-3.dll", "libcrypto-3.dll" on Windows; "libssl.so.3", "libcrypto.so.3" elsewhere.
QStringList requiredLibraries();

// Is one of the required libraries available for a program living in folder?
bool libraryAvailable(const QString &folder, const QString &library);

// Are all of them available?
bool librariesAvailable(const QString &folder);

// Tests force the answer of librariesAvailable/libraryAvailable; nullopt restores it.
void setResultForTest(std::optional<bool> result);

} // namespace TlsCheck
