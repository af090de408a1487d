#pragma once

// The updater's helper mode, used where PowerShell does not exist: the updater starts
// its own executable as the check or download child, which speaks the same line
// protocol on standard output.
//
//   TORVAL_Updater --helper-check <releases-url>
//     "NO_RELEASES" (exit 0) | "VERSION:v" "URL:u" "CHANGELOG:body" (exit 0)
//     | "NO_DOWNLOAD_URL" (exit 0) | "ERROR:message" (exit 1)
//   TORVAL_Updater --helper-download <url> <output-path>
//     "DOWNLOAD_COMPLETE:<bytes>" (exit 0) | "ERROR:message" (exit 1)

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace UpdaterHelper {

// Is this command line (argv[1] onwards considered) a helper invocation?
bool isHelperInvocation(int argc, char **argv);

// Runs the helper named by the arguments (program name first) and returns its exit
// code. Needs a QCoreApplication.
int run(const QStringList &arguments);

// Protocol lines for a release listing (exposed for tests). Sets exitCode.
QString checkOutputForListing(const QByteArray &json, int *exitCode);

} // namespace UpdaterHelper
