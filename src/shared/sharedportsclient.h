#pragma once

// HTTP JSON client of the shared ports service. One request per operation, one
// result signal per started request; every reply is handled with the reply that
// finished, so overlapping requests each report their own outcome.

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>

#include "shared/sharedport.h"

class QJsonObject;
class QNetworkAccessManager;
class QNetworkReply;

class SharedPortsClient final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kTransferTimeoutMs = 15000;

    explicit SharedPortsClient(QObject *parent = nullptr);
    ~SharedPortsClient() override;

    // Stores the service address; a missing final "/" is added.
    void setBaseUrl(const QString &url);
    QString baseUrl() const { return m_baseUrl; }

    // Aborts every request in flight. Cancelled requests report nothing.
    void cancelRequest();
    // A request is in flight.
    bool isBusy() const { return !m_inFlight.isEmpty(); }

    void publishPort(const QString &userName, quint16 port, const QString &description, int status,
        const QString &comment);
    void fetchPorts(const QString &userName);
    void fetchComments(int portId);
    void unpublishPort(const QString &userName, int portId);
    void addComment(int portId, const QString &userName, const QString &comment);

    // The same requests with their result also handed to one receiver, so windows that
    // share a client each see only what they asked for. The result signal is emitted
    // as well. Nothing is handed over once the receiver is destroyed or the request
    // was cancelled.
    using CommentsHandler
        = std::function<void(const QList<Comment> &comments, bool success, const QString &error)>;
    using ResultHandler = std::function<void(bool success, const QString &error)>;
    void fetchComments(int portId, QObject *receiver, CommentsHandler handler);
    void addComment(int portId, const QString &userName, const QString &comment, QObject *receiver,
        ResultHandler handler);

    int transferTimeout() const;

    // Test hook: transfer time-out for clients constructed afterwards; 0 restores the shipped value.
    static void setTransferTimeoutForTesting(int milliseconds);

signals:
    void portsReceived(const QList<SharedPort> &ports, bool success, const QString &error);
    void publishFinished(bool success, const QString &error);
    void unpublishFinished(bool success, const QString &error);
    void commentsReceived(const QList<Comment> &comments, bool success, const QString &error);
    void commentAdded(bool success, const QString &error);

private slots:
    void onFetchFinished(QNetworkReply *reply);
    void onPublishFinished(QNetworkReply *reply);
    void onUnpublishFinished(QNetworkReply *reply);
    void onFetchCommentsFinished(QNetworkReply *reply);
    void onAddCommentFinished(QNetworkReply *reply);

private:
    QNetworkReply *get(const QString &endpoint, const QList<QPair<QString, QString>> &query);
    QNetworkReply *post(const QString &endpoint, const QJsonObject &body);
    QNetworkReply *track(QNetworkReply *reply, void (SharedPortsClient::*handler)(QNetworkReply *));
    // Reads the outcome common to all replies; on success object holds the reply's members.
    static bool readOutcome(QNetworkReply *reply, QJsonObject &object, QString &error);
    void release(QNetworkReply *reply);

    QNetworkAccessManager *m_manager = nullptr;
    QString m_baseUrl;
    QNetworkReply *m_currentReply = nullptr;
    QSet<QNetworkReply *> m_inFlight;

    struct Delivery
    {
        QPointer<QObject> receiver;
        CommentsHandler comments;
        ResultHandler result;
    };
    // Takes the reply's delivery; an empty one when it has none or its receiver is gone.
    Delivery takeDelivery(QNetworkReply *reply);
    QHash<QNetworkReply *, Delivery> m_deliveries;
};
