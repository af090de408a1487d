#include "shared/sharedportsclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

namespace {

int s_transferTimeoutOverride = 0;

void registerMetaTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<SharedPort>();
        qRegisterMetaType<Comment>();
        qRegisterMetaType<QList<SharedPort>>();
        qRegisterMetaType<QList<Comment>>();
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

SharedPortsClient::SharedPortsClient(QObject *parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
    registerMetaTypes();
    m_manager->setTransferTimeout(
        s_transferTimeoutOverride > 0 ? s_transferTimeoutOverride : kTransferTimeoutMs);
}

SharedPortsClient::~SharedPortsClient()
{
    cancelRequest();
}

int SharedPortsClient::transferTimeout() const
{
    return m_manager->transferTimeout();
}

void SharedPortsClient::setTransferTimeoutForTesting(int milliseconds)
{
    s_transferTimeoutOverride = milliseconds;
}

void SharedPortsClient::setBaseUrl(const QString &url)
{
    m_baseUrl = url;
    if (!m_baseUrl.endsWith(QLatin1Char('/')))
        m_baseUrl += QLatin1Char('/');
}

void SharedPortsClient::cancelRequest()
{
    const QSet<QNetworkReply *> replies = m_inFlight;
    m_inFlight.clear();
    m_deliveries.clear();
    m_currentReply = nullptr;
    for (QNetworkReply *reply : replies) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

void SharedPortsClient::publishPort(
    const QString &userName, quint16 port, const QString &description, int status, const QString &comment)
{
    QJsonObject body;
    body.insert(QLatin1String("user_name"), userName);
    body.insert(QLatin1String("port"), static_cast<int>(port));
    body.insert(QLatin1String("description"), description);
    body.insert(QLatin1String("status"), status);
    body.insert(QLatin1String("comment"), comment);
    track(post(QStringLiteral("publish_port.php"), body), &SharedPortsClient::onPublishFinished);
}

void SharedPortsClient::fetchPorts(const QString &userName)
{
    track(get(QStringLiteral("get_ports.php"), {{QStringLiteral("user_name"), userName}}),
        &SharedPortsClient::onFetchFinished);
}

void SharedPortsClient::fetchComments(int portId)
{
    track(get(QStringLiteral("get_comments.php"), {{QStringLiteral("port_id"), QString::number(portId)}}),
        &SharedPortsClient::onFetchCommentsFinished);
}

void SharedPortsClient::unpublishPort(const QString &userName, int portId)
{
    QJsonObject body;
    body.insert(QLatin1String("user_name"), userName);
    body.insert(QLatin1String("port_id"), portId);
    track(post(QStringLiteral("unpublish_port.php"), body), &SharedPortsClient::onUnpublishFinished);
}

void SharedPortsClient::addComment(int portId, const QString &userName, const QString &comment)
{
    QJsonObject body;
    body.insert(QLatin1String("port_id"), portId);
    body.insert(QLatin1String("user_name"), userName);
    body.insert(QLatin1String("comment"), comment);
    track(post(QStringLiteral("add_comment.php"), body), &SharedPortsClient::onAddCommentFinished);
}

void SharedPortsClient::fetchComments(int portId, QObject *receiver, CommentsHandler handler)
{
    fetchComments(portId);
    if (receiver && handler)
        m_deliveries.insert(m_currentReply, Delivery {receiver, std::move(handler), {}});
}

void SharedPortsClient::addComment(
    int portId, const QString &userName, const QString &comment, QObject *receiver, ResultHandler handler)
{
    addComment(portId, userName, comment);
    if (receiver && handler)
        m_deliveries.insert(m_currentReply, Delivery {receiver, {}, std::move(handler)});
}

SharedPortsClient::Delivery SharedPortsClient::takeDelivery(QNetworkReply *reply)
{
    Delivery delivery = m_deliveries.take(reply);
    if (!delivery.receiver)
        return {};
    return delivery;
}

QNetworkReply *SharedPortsClient::get(const QString &endpoint, const QList<QPair<QString, QString>> &query)
{
    QUrl url(m_baseUrl + endpoint);
    QUrlQuery items;
    // An empty value still yields "name=" so the service sees the item.
    for (const auto &item : query)
        items.addQueryItem(item.first, QString::fromUtf8(QUrl::toPercentEncoding(item.second)));
    url.setQuery(items);
    return m_manager->get(QNetworkRequest(url));
}

QNetworkReply *SharedPortsClient::post(const QString &endpoint, const QJsonObject &body)
{
    QNetworkRequest request(QUrl(m_baseUrl + endpoint));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    return m_manager->post(request, QJsonDocument(body).toJson(QJsonDocument::Indented));
}

QNetworkReply *SharedPortsClient::track(
    QNetworkReply *reply, void (SharedPortsClient::*handler)(QNetworkReply *))
{
    m_currentReply = reply;
    m_inFlight.insert(reply);
    connect(reply, &QNetworkReply::finished, this, [this, reply, handler] { (this->*handler)(reply); });
    return reply;
}

bool SharedPortsClient::readOutcome(QNetworkReply *reply, QJsonObject &object, QString &error)
{
    const QByteArray body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError) {
        // A refusal such as "too many requests" carries the service's own words; they tell
        // the player more than the transport's text does.
        const QJsonValue said = QJsonDocument::fromJson(body).object().value(QLatin1String("error"));
        const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        error = answered && said.isString() && !said.toString().trimmed().isEmpty() ? said.toString()
                                                                                    : reply->errorString();
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        error = QStringLiteral("Invalid JSON");
        return false;
    }
    object = document.object();
    if (!object.value(QLatin1String("success")).toBool()) {
        error = object.value(QLatin1String("error")).toString();
        return false;
    }
    error.clear();
    return true;
}

void SharedPortsClient::release(QNetworkReply *reply)
{
    m_inFlight.remove(reply);
    if (m_currentReply == reply)
        m_currentReply = nullptr;
    reply->deleteLater();
}

void SharedPortsClient::onFetchFinished(QNetworkReply *reply)
{
    QJsonObject object;
    QString error;
    QList<SharedPort> ports;
    if (readOutcome(reply, object, error)) {
        const QJsonArray array = object.value(QLatin1String("ports")).toArray();
        ports.reserve(array.size());
        for (const QJsonValue &value : array)
            ports.append(SharedPort::fromJson(value.toObject()));
        release(reply);
        emit portsReceived(ports, true, QString());
        return;
    }
    release(reply);
    emit portsReceived({}, false, error);
}

void SharedPortsClient::onPublishFinished(QNetworkReply *reply)
{
    QJsonObject object;
    QString error;
    const bool success = readOutcome(reply, object, error);
    release(reply);
    emit publishFinished(success, error);
}

void SharedPortsClient::onUnpublishFinished(QNetworkReply *reply)
{
    QJsonObject object;
    QString error;
    const bool success = readOutcome(reply, object, error);
    release(reply);
    emit unpublishFinished(success, error);
}

void SharedPortsClient::onFetchCommentsFinished(QNetworkReply *reply)
{
    QJsonObject object;
    QString error;
    QList<Comment> comments;
    const bool success = readOutcome(reply, object, error);
    if (success) {
        const QJsonArray array = object.value(QLatin1String("comments")).toArray();
        comments.reserve(array.size());
        for (const QJsonValue &value : array)
            comments.append(Comment::fromJson(value.toObject()));
    }
    const Delivery delivery = takeDelivery(reply);
    release(reply);
    emit commentsReceived(comments, success, error);
    if (delivery.receiver && delivery.comments)
        delivery.comments(comments, success, error);
}

void SharedPortsClient::onAddCommentFinished(QNetworkReply *reply)
{
    QJsonObject object;
    QString error;
    const bool success = readOutcome(reply, object, error);
    const Delivery delivery = takeDelivery(reply);
    release(reply);
    emit commentAdded(success, error);
    if (delivery.receiver && delivery.result)
        delivery.result(success, error);
}
