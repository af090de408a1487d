#pragma once

// A small HTTP/1.1 server on QTcpServer: keep-alive, Content-Length bodies with a
// size limit checked before the body is read, bounded header size, idle time-out.
// Each complete request goes to one handler; one log line per request.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUrlQuery>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;

struct HttpRequest
{
    QByteArray method;
    QByteArray target; // as sent: path and query
    QString path; // decoded path
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QHostAddress peer;
};

struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> extraHeaders;
};

class HttpServer final : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;
    // Answers for requests that never reach the handler (too large, malformed).
    using ErrorBody = std::function<QByteArray(int status, const QString &message)>;

    static constexpr int kDefaultMaxBodyBytes = 64 * 1024;
    static constexpr int kMaxHeaderBytes = 16 * 1024;
    static constexpr int kIdleTimeoutMs = 30000;
    // A refused body up to this size is read and dropped so the client sees the answer.
    static constexpr qint64 kMaxDiscardBytes = 8 * 1024 * 1024;

    explicit HttpServer(Handler handler, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 serverPort() const;
    QString errorString() const;

    void setMaxBodyBytes(int bytes) { m_maxBodyBytes = bytes; }
    void setErrorBody(ErrorBody errorBody) { m_errorBody = std::move(errorBody); }
    void setLogging(bool enabled) { m_logging = enabled; }

    static QByteArray reasonPhrase(int status);

private:
    friend class HttpConnection;
    void onNewConnection();
    HttpResponse errorResponse(int status, const QString &message) const;
    void logRequest(const QHostAddress &peer, const QByteArray &method, const QByteArray &target, int status,
        qsizetype bytes, qint64 elapsedNs) const;

    QTcpServer *m_server = nullptr;
    Handler m_handler;
    ErrorBody m_errorBody;
    int m_maxBodyBytes = kDefaultMaxBodyBytes;
    bool m_logging = true;
};

// One client connection; parses requests one after another.
class HttpConnection final : public QObject
{
    Q_OBJECT

public:
    HttpConnection(QTcpSocket *socket, HttpServer *server);

private:
    void onReadyRead();
    // Returns false when the connection is to close after what was sent.
    bool processBuffer();
    void fail(int status, const QString &message, const QByteArray &method, const QByteArray &target);
    void send(
        const HttpResponse &response, bool keepAlive, const QByteArray &method, const QByteArray &target);
    void closeAfterWrite();

    QTcpSocket *m_socket;
    HttpServer *m_server;
    QTimer *m_idleTimer;
    QByteArray m_buffer;
    bool m_haveHead = false;
    bool m_closing = false;
    qint64 m_discardRemaining = 0; // body bytes still to swallow after a refusal
    qint64 m_bodyLength = 0;
    bool m_keepAlive = true;
    HttpRequest m_request;
    QElapsedTimer m_started;
};
