// kestrel-service's request handling on arbitrary targets and bodies. Input: the first
// byte picks the method, then the target up to the first line feed, then the body.
// Whatever comes in, the answer is a JSON object with a boolean "success".

#include "fuzzsupport.h"

#include "serviceapi.h"
#include "servicestore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

ServiceApi *api()
{
    static ServiceStore store(QStringLiteral("QSQLITE"), QStringLiteral(":memory:"));
    static ServiceApi instance = [] {
        if (!store.openDatabase())
            std::abort();
        ServiceLimits limits;
        limits.publishesPerName = limits.publishesPerAddress = 0;
        limits.commentsPerName = limits.commentsPerAddress = 0;
        limits.heartbeatsPerUser = limits.heartbeatsPerAddress = 0;
        limits.entriesPerName = 3;
        limits.commentsPerEntry = 3;
        limits.listedEntries = 20;
        return ServiceApi(store, 60000, QString(), limits);
    }();
    return &instance;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::init();
    api();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const qsizetype lineEnd = bytes.indexOf('\n');
    HttpRequest request;
    request.method = data[0] & 1 ? QByteArray("POST") : QByteArray("GET");
    request.target = lineEnd < 0 ? bytes : bytes.left(lineEnd);
    request.body = lineEnd < 0 ? QByteArray() : bytes.mid(lineEnd + 1);
    request.peer = QHostAddress(QStringLiteral("127.0.0.1"));
    // As the server reads a request line.
    const QUrl url = QUrl::fromEncoded(request.target);
    request.path = url.path(QUrl::FullyDecoded);
    request.query = QUrlQuery(url.query(QUrl::FullyEncoded));

    const HttpResponse response = api()->handle(request);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(response.body, &error);
    Fuzz::require(error.error == QJsonParseError::NoError && document.isObject()
        && document.object().value(QLatin1String("success")).isBool());
    Fuzz::require(response.status == 200 || response.status == 404 || response.status == 405
        || response.status == 429 || response.status == 500);
    return 0;
}
