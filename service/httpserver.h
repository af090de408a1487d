#pragma once

// HTTP/1.1 for the service on libmicrohttpd: keep-alive, Content-Length bodies with a
// size limit checked before the body is read, caps on connections in total and per
// address, and deadlines that activity does not extend: each request's header must be
// complete within a time of the connection becoming ready for it (accepted, or the
// previous answer sent), its body within a time of the header, and its answer sent
// within that time again. Requests are handled on a few worker threads; each
// complete request goes to one handler; one log line per request.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrlQuery>

#include <functional>
#include <memory>

struct HttpRequest
{
    QByteArray method;
    QByteArray target; // as sent: path and query
    QString path; // decoded path
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QHostAddress peer; // the client; behind a trusted proxy, the address it forwarded
};

struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> extraHeaders;
};

struct HttpLimits
{
    int maxConnections = 4096;
    int maxConnectionsPerAddress = 32; // 0: no cap (behind a reverse proxy)
    int headerTimeoutSeconds = 10;
    int bodyTimeoutSeconds = 30;
    int maxBodyBytes = 64 * 1024;
    int threads = 4;
};

class HttpServer final : public QObject
{
    Q_OBJECT

public:
    // Called on the worker threads, possibly on several at once.
    using Handler = std::function<HttpResponse(const HttpRequest &)>;
    // Answers for requests that never reach the handler (too large, malformed).
    using ErrorBody = std::function<QByteArray(int status, const QString &message)>;

    static constexpr int kDefaultMaxBodyBytes = 64 * 1024;
    static constexpr int kMaxHeaderBytes = 16 * 1024;
    // A refused body up to this size is read and dropped so the client sees the answer.
    static constexpr qint64 kMaxDiscardBytes = 8 * 1024 * 1024;

    explicit HttpServer(Handler handler, QObject *parent = nullptr);
    ~HttpServer() override;

    // Settings take effect with the next listen().
    void setLimits(const HttpLimits &limits);
    void setErrorBody(ErrorBody errorBody);
    void setLogging(bool enabled);
    // Requests from these addresses are taken to come from the last address in their
    // X-Forwarded-For header that is not one of them.
    void setTrustedProxies(const QList<QHostAddress> &proxies);

    bool listen(const QHostAddress &address, quint16 port);
    // Stops accepting, closes every connection and waits for the workers.
    void close();
    quint16 serverPort() const;
    QString errorString() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
