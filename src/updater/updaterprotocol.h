#pragma once

// Pure pieces of the updater: the command line, version codes, the line protocol
// spoken by the check and download children (PowerShell on Windows, the updater's own
// helper mode elsewhere), the scripts and argument lists that start those children,
// and the checks that keep text from the network out of code and paths.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace UpdaterProtocol {

inline constexpr char kDefaultCurrentVersion[] = "1.5.2";
inline constexpr char kUserAgent[] = "TORVAL-Updater/1.0";
inline constexpr char kHelperCheckOption[] = "--helper-check";
inline constexpr char kHelperDownloadOption[] = "--helper-download";
inline constexpr int kChangelogLimit = 500;

// How the check and the download reach the network.
enum class Backend
{
    PowerShell, // "powershell -Command <script>" (Windows)
    Helper, // "<updater> --helper-check|--helper-download ..." (systems without PowerShell)
};

// The backend this build uses by default.
Backend nativeBackend();

struct Options
{
    QString appPath;
    QString currentVersion = QString::fromLatin1(kDefaultCurrentVersion);
    bool silent = false;
    bool showDialog = false;

    // "--show-dialog" wins over "--silent".
    bool effectiveSilent() const { return silent && !showDialog; }
};

// Reads "--app-path", "--current-version", "--silent" and "--show-dialog" from the
// arguments (the program name included or not: unknown arguments are ignored).
Options parseArguments(const QStringList &arguments);

// Single-instance key of an updater at exePath: "TORVAL_Updater_" + the path with
// every "\", ":" and "/" replaced by "_".
QString instanceKey(const QString &exePath);

// major * 10000 + minor * 100 + patch; 0 when the text is not a usable version.
int versionCode(const QString &version);

// Outcome of a check child that ended with exit code 0.
struct CheckOutput
{
    enum Kind
    {
        NoReleases,
        NoDownloadUrl,
        Release,
        Invalid
    };
    Kind kind = Invalid;
    QString version;
    QString url;
    QString digest; // the asset's listed digest ("sha256:<hex>"), empty when none is listed
    QString changelog;
};

// Parses the trimmed standard output of a successful check. The first "VERSION:", "URL:" and
// "DIGEST:" lines count; everything from "CHANGELOG:" on is release notes, so a notes line can
// never stand for one of the others. The change log is the first line of the notes.
CheckOutput parseCheckOutput(const QString &trimmedOutput);

// Message of a failed check: the output with a leading "ERROR:" removed.
QString checkFailureMessage(const QString &output);

// Cuts a change log longer than the limit to its first 500 characters plus "...".
QString truncateChangelog(const QString &changelog);

// A release version becomes part of a file name only when it is made of digits,
// letters, ".", "-" and "_".
bool isSafeVersion(const QString &version);

// Release listings and files are fetched over https; plain http only from this machine
// (a loopback address or "localhost"), where nobody can sit in between.
bool isAcceptableDownloadUrl(const QString &url);
bool isLoopbackHost(const QString &host);

// A listed digest this updater can check: "sha256:" and 64 hex digits (either case).
bool isSupportedDigest(const QString &digest);

// Release tag with every "v" and "V" removed.
QString versionFromTag(const QString &tag);

// The asset to install: on systems without PowerShell (preferLinuxBuild) the first asset
// whose name contains "linux" and does not end in ".exe"; otherwise (and when there is
// none) the first asset whose name ends in ".exe" or contains "TORVAL" or "PORT" (any
// letter case); else the first asset. Empty when there are no assets.
QJsonObject chooseAsset(const QJsonArray &assets, bool preferLinuxBuild);

// Text as a PowerShell single-quoted string literal, quotes included. Every quote
// character PowerShell accepts as a single quote is doubled, so nothing can end it.
QString powerShellQuote(const QString &text);

QString checkScript(const QString &releasesUrl);
QString downloadScript(const QString &url, const QString &outputPath);

struct Command
{
    QString program;
    QStringList arguments;
};

Command checkCommand(Backend backend, const QString &releasesUrl, const QString &helperProgram);
Command downloadCommand(
    Backend backend, const QString &url, const QString &outputPath, const QString &helperProgram);

// One line of the download child's output.
struct DownloadLine
{
    enum Kind
    {
        Complete,
        Error,
        Other
    };
    Kind kind = Other;
    qint64 size = 0;
    QString message;
};
DownloadLine parseDownloadLine(const QString &trimmedLine);

// "TORVAL_UPDATE_<version>", with ".exe" on Windows.
QString updateFileName(const QString &version);

// Names of the main program looked for beside the updater when "--app-path" is missing.
QStringList mainProgramCandidates();

} // namespace UpdaterProtocol
