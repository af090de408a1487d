#include "updater/updaterprotocol.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

namespace UpdaterProtocol {

namespace {

QString executableSuffix()
{
#ifdef Q_OS_WIN
    return QStringLiteral(".exe");
#else
    return QString();
#endif
}

QString stripPrefix(const QString &line, QLatin1String prefix)
{
    return line.mid(prefix.size()).trimmed();
}

} // namespace

Backend nativeBackend()
{
#ifdef Q_OS_WIN
    return Backend::PowerShell;
#else
    return Backend::Helper;
#endif
}

Options parseArguments(const QStringList &arguments)
{
    Options options;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--app-path") && hasValue)
            options.appPath = arguments.at(i + 1);
        else if (argument == QLatin1String("--current-version") && hasValue)
            options.currentVersion = arguments.at(i + 1);
        else if (argument == QLatin1String("--silent"))
            options.silent = true;
        else if (argument == QLatin1String("--show-dialog"))
            options.showDialog = true;
    }
    return options;
}

QString instanceKey(const QString &exePath)
{
    QString key = exePath;
    key.replace(QLatin1Char('\\'), QLatin1Char('_'));
    key.replace(QLatin1Char(':'), QLatin1Char('_'));
    key.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("TORVAL_Updater_") + key;
}

int versionCode(const QString &version)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() < 3)
        return 0;
    int numbers[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        numbers[i] = parts.at(i).toInt(&ok);
        if (!ok)
            return 0;
    }
    return numbers[0] * 10000 + numbers[1] * 100 + numbers[2];
}

CheckOutput parseCheckOutput(const QString &trimmedOutput)
{
    CheckOutput result;
    if (trimmedOutput == QLatin1String("NO_RELEASES")) {
        result.kind = CheckOutput::NoReleases;
        return result;
    }
    if (trimmedOutput == QLatin1String("NO_DOWNLOAD_URL")) {
        result.kind = CheckOutput::NoDownloadUrl;
        return result;
    }
    const QLatin1String versionPrefix("VERSION:");
    const QLatin1String urlPrefix("URL:");
    const QLatin1String digestPrefix("DIGEST:");
    const QLatin1String changelogPrefix("CHANGELOG:");
    bool haveVersion = false;
    bool haveUrl = false;
    bool haveDigest = false;
    for (const QString &line : trimmedOutput.split(QLatin1Char('\n'))) {
        if (!haveVersion && line.startsWith(versionPrefix)) {
            result.version = stripPrefix(line, versionPrefix);
            haveVersion = true;
        } else if (!haveUrl && line.startsWith(urlPrefix)) {
            result.url = stripPrefix(line, urlPrefix);
            haveUrl = true;
        } else if (!haveDigest && line.startsWith(digestPrefix)) {
            result.digest = stripPrefix(line, digestPrefix);
            haveDigest = true;
        } else if (line.startsWith(changelogPrefix)) {
            // The notes are the publisher's free text: nothing after this line is a field.
            result.changelog = stripPrefix(line, changelogPrefix);
            break;
        }
    }
    result.kind
        = (result.version.isEmpty() || result.url.isEmpty()) ? CheckOutput::Invalid : CheckOutput::Release;
    return result;
}

QString checkFailureMessage(const QString &output)
{
    const QLatin1String prefix("ERROR:");
    return output.startsWith(prefix) ? output.mid(prefix.size()) : output;
}

QString truncateChangelog(const QString &changelog)
{
    if (changelog.size() <= kChangelogLimit)
        return changelog;
    return changelog.left(kChangelogLimit) + QStringLiteral("...");
}

bool isSafeVersion(const QString &version)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-Za-z._-]+$"));
    return pattern.match(version).hasMatch();
}

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool isAcceptableDownloadUrl(const QString &url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return false;
    const QString scheme = parsed.scheme().toLower();
    return scheme == QLatin1String("https")
        || (scheme == QLatin1String("http") && isLoopbackHost(parsed.host()));
}

bool isSupportedDigest(const QString &digest)
{
    static const QRegularExpression pattern(QStringLiteral("^sha256:[0-9A-Fa-f]{64}$"));
    return pattern.match(digest).hasMatch();
}

QString versionFromTag(const QString &tag)
{
    QString version = tag;
    version.remove(QLatin1Char('v'));
    version.remove(QLatin1Char('V'));
    return version;
}

QJsonObject chooseAsset(const QJsonArray &assets, bool preferLinuxBuild)
{
    if (preferLinuxBuild) {
        for (const QJsonValue &value : assets) {
            const QJsonObject asset = value.toObject();
            const QString name = asset.value(QLatin1String("name")).toString();
            if (name.contains(QLatin1String("linux"), Qt::CaseInsensitive)
                && !name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
                return asset;
        }
    }
    static const QRegularExpression windowsBuild(
        QStringLiteral("\\.exe$|TORVAL|PORT"), QRegularExpression::CaseInsensitiveOption);
    for (const QJsonValue &value : assets) {
        const QJsonObject asset = value.toObject();
        if (windowsBuild.match(asset.value(QLatin1String("name")).toString()).hasMatch())
            return asset;
    }
    return assets.isEmpty() ? QJsonObject() : assets.first().toObject();
}

QString powerShellQuote(const QString &text)
{
    // PowerShell ends a single-quoted string at ' and at the typographic quotes
    // U+2018..U+201B; doubling any of them keeps it literal.
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += QLatin1Char('\'');
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\'' || u == 0x2018 || u == 0x2019 || u == 0x201A || u == 0x201B)
            quoted += c;
        quoted += c;
    }
    quoted += QLatin1Char('\'');
    return quoted;
}

// The scripts hold no double quotes: Windows PowerShell's command-line parsing
// would strip them. Output is forced to UTF-8 so messages in any language survive.
QString checkScript(const QString &releasesUrl)
{
    return QStringLiteral(
        "[Console]::OutputEncoding = [System.Text.Encoding]::UTF8\n"
        "$ErrorActionPreference = 'Stop'\n"
        "try {\n"
        "    $response = Invoke-RestMethod -Uri %1 -Headers @{'User-Agent'='%2'}\n"
        "    if ($response.Count -eq 0) {\n"
        "        Write-Output 'NO_RELEASES'\n"
        "        exit 0\n"
        "    }\n"
        "    $latest = $response[0]\n"
        "    $version = $latest.tag_name -replace '[vV]', ''\n"
        "    $chosen = $null\n"
        "    foreach ($asset in $latest.assets) {\n"
        "        if ($asset.name -match '\\.exe$' -or $asset.name -match 'TORVAL' -or $asset.name -match "
        "'PORT') {\n"
        "            $chosen = $asset\n"
        "            break\n"
        "        }\n"
        "    }\n"
        "    if (-not $chosen -and $latest.assets.Count -gt 0) {\n"
        "        $chosen = $latest.assets[0]\n"
        "    }\n"
        "    $downloadUrl = $chosen.browser_download_url\n"
        "    if ($downloadUrl) {\n"
        "        if (($version + $downloadUrl + $chosen.digest) -match '[\\x00-\\x1F]') {\n"
        "            throw 'Invalid release listing'\n"
        "        }\n"
        "        Write-Output ('VERSION:' + $version)\n"
        "        Write-Output ('URL:' + $downloadUrl)\n"
        "        Write-Output ('DIGEST:' + $chosen.digest)\n"
        "        Write-Output ('CHANGELOG:' + $latest.body)\n"
        "    } else {\n"
        "        Write-Output 'NO_DOWNLOAD_URL'\n"
        "    }\n"
        "} catch {\n"
        "    Write-Output ('ERROR:' + $_.Exception.Message)\n"
        "    exit 1\n"
        "}\n")
        .arg(powerShellQuote(releasesUrl), QLatin1String(kUserAgent));
}

QString downloadScript(const QString &url, const QString &outputPath)
{
    // -LiteralPath: a folder name with [ or ] is not a wildcard pattern.
    return QStringLiteral("[Console]::OutputEncoding = [System.Text.Encoding]::UTF8\n"
                          "$ErrorActionPreference = 'Stop'\n"
                          "try {\n"
                          "    $url = %1\n"
                          "    $output = %2\n"
                          "    $webClient = New-Object System.Net.WebClient\n"
                          "    $webClient.DownloadFile($url, $output)\n"
                          "    $file = Get-Item -LiteralPath $output\n"
                          "    if ($file.Length -gt 0) {\n"
                          "        Write-Output ('DOWNLOAD_COMPLETE:' + $file.Length)\n"
                          "    } else {\n"
                          "        Write-Output 'ERROR:File is empty'\n"
                          "    }\n"
                          "} catch {\n"
                          "    Write-Output ('ERROR:' + $_.Exception.Message)\n"
                          "    exit 1\n"
                          "}\n")
        .arg(powerShellQuote(url), powerShellQuote(outputPath));
}

Command checkCommand(Backend backend, const QString &releasesUrl, const QString &helperProgram)
{
    if (backend == Backend::PowerShell)
        return {QStringLiteral("powershell"), {QStringLiteral("-Command"), checkScript(releasesUrl)}};
    return {helperProgram, {QLatin1String(kHelperCheckOption), releasesUrl}};
}

Command downloadCommand(
    Backend backend, const QString &url, const QString &outputPath, const QString &helperProgram)
{
    if (backend == Backend::PowerShell)
        return {QStringLiteral("powershell"), {QStringLiteral("-Command"), downloadScript(url, outputPath)}};
    return {helperProgram, {QLatin1String(kHelperDownloadOption), url, outputPath}};
}

DownloadLine parseDownloadLine(const QString &trimmedLine)
{
    DownloadLine line;
    const QLatin1String complete("DOWNLOAD_COMPLETE:");
    const QLatin1String error("ERROR:");
    if (trimmedLine.startsWith(complete)) {
        line.kind = DownloadLine::Complete;
        line.size = trimmedLine.mid(complete.size()).trimmed().toLongLong();
    } else if (trimmedLine.startsWith(error)) {
        line.kind = DownloadLine::Error;
        line.message = trimmedLine.mid(error.size());
    }
    return line;
}

QString updateFileName(const QString &version)
{
    return QStringLiteral("TORVAL_UPDATE_%1").arg(version) + executableSuffix();
}

QStringList mainProgramCandidates()
{
    QStringList names;
    for (const char *base : {"RF4_KESTREL", "TORVAL_KESTREL", "KESTREL", "TORVAL_PLOVER"})
        names << QString::fromLatin1(base) + executableSuffix();
    return names;
}

} // namespace UpdaterProtocol
