#include "updater/updaterhelper.h"

#include "updater/updaterprotocol.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

#include <cstdio>
#include <cstring>

namespace UpdaterHelper {

namespace {

void printLines(const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

QNetworkRequest makeRequest(const QString &url)
{
    QNetworkRequest request {QUrl(url)};
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(UpdaterProtocol::kUserAgent));
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    return request;
}

// A redirect is followed only to an address the updater would accept in the first place, and
// never from https down to http.
void verifyRedirects(QNetworkReply *reply)
{
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl &target) {
        const bool downgrade
            = reply->url().scheme() == QLatin1String("https") && target.scheme() != QLatin1String("https");
        if (!downgrade && UpdaterProtocol::isAcceptableDownloadUrl(target.toString()))
            emit reply->redirectAllowed();
        else
            reply->abort();
    });
}

void waitFor(QNetworkReply *reply)
{
    verifyRedirects(reply);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
}

QString refusedAddress(const QString &url)
{
    return QStringLiteral("ERROR:Refusing an address that is neither https nor on this machine: ") + url;
}

int runCheck(const QString &url)
{
    if (!UpdaterProtocol::isAcceptableDownloadUrl(url)) {
        printLines(refusedAddress(url));
        return 1;
    }
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(makeRequest(url));
    waitFor(reply);
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        printLines(QStringLiteral("ERROR:") + reply->errorString());
        return 1;
    }
    int exitCode = 0;
    printLines(checkOutputForListing(reply->readAll(), &exitCode));
    return exitCode;
}

int runDownload(const QString &url, const QString &outputPath)
{
    if (!UpdaterProtocol::isAcceptableDownloadUrl(url)) {
        printLines(refusedAddress(url));
        return 1;
    }
    QFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        printLines(QStringLiteral("ERROR:") + file.errorString());
        return 1;
    }
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(makeRequest(url));
    bool writeFailed = false;
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&]() {
        const QByteArray chunk = reply->readAll();
        if (file.write(chunk) != chunk.size())
            writeFailed = true;
    });
    waitFor(reply);
    reply->deleteLater();
    const QByteArray rest = reply->readAll();
    if (file.write(rest) != rest.size())
        writeFailed = true;
    file.close();

    if (reply->error() != QNetworkReply::NoError || writeFailed) {
        // A half-written file must not be taken for the update.
        const QString message = writeFailed ? file.errorString() : reply->errorString();
        file.remove();
        printLines(QStringLiteral("ERROR:") + message);
        return 1;
    }
    const qint64 size = QFile(outputPath).size();
    if (size <= 0) {
        printLines(QStringLiteral("ERROR:File is empty"));
        return 1;
    }
    printLines(QStringLiteral("DOWNLOAD_COMPLETE:%1").arg(size));
    return 0;
}

} // namespace

bool isHelperInvocation(int argc, char **argv)
{
    return argc > 1
        && (std::strcmp(argv[1], UpdaterProtocol::kHelperCheckOption) == 0
            || std::strcmp(argv[1], UpdaterProtocol::kHelperDownloadOption) == 0);
}

QString checkOutputForListing(const QByteArray &json, int *exitCode)
{
    *exitCode = 1;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return QStringLiteral("ERROR:Invalid release listing: ") + parseError.errorString();

    QJsonArray releases;
    if (document.isArray())
        releases = document.array();
    else if (document.isObject())
        releases.append(document.object()); // a single release answers like a list of one
    else
        return QStringLiteral("ERROR:Invalid release listing");

    *exitCode = 0;
    if (releases.isEmpty())
        return QStringLiteral("NO_RELEASES");

    const QJsonObject latest = releases.first().toObject();
    const QString version
        = UpdaterProtocol::versionFromTag(latest.value(QLatin1String("tag_name")).toString());
#ifdef Q_OS_WIN
    const bool preferLinux = false;
#else
    const bool preferLinux = true;
#endif
    const QJsonObject asset
        = UpdaterProtocol::chooseAsset(latest.value(QLatin1String("assets")).toArray(), preferLinux);
    const QString url = asset.value(QLatin1String("browser_download_url")).toString();
    if (url.isEmpty())
        return QStringLiteral("NO_DOWNLOAD_URL");
    const QString digest = asset.value(QLatin1String("digest")).toString();
    // One field per line: a line break inside a field would forge the lines after it.
    static const QRegularExpression control(QStringLiteral("[\\x00-\\x1f]"));
    if (QString(version + url + digest).contains(control)) {
        *exitCode = 1;
        return QStringLiteral("ERROR:Invalid release listing");
    }
    return QStringLiteral("VERSION:") + version + QStringLiteral("\nURL:") + url + QStringLiteral("\nDIGEST:")
        + digest + QStringLiteral("\nCHANGELOG:") + latest.value(QLatin1String("body")).toString();
}

int run(const QStringList &arguments)
{
    const QString mode = arguments.value(1);
    if (mode == QLatin1String(UpdaterProtocol::kHelperCheckOption) && arguments.size() >= 3)
        return runCheck(arguments.at(2));
    if (mode == QLatin1String(UpdaterProtocol::kHelperDownloadOption) && arguments.size() >= 4)
        return runDownload(arguments.at(2), arguments.at(3));
    printLines(QStringLiteral("ERROR:Invalid helper arguments"));
    return 1;
}

} // namespace UpdaterHelper
