#include "serviceapi.h"

#include "servicestore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>

namespace {

constexpr char kServerError[] = "Внутренняя ошибка сервера, попробуйте позже";

HttpResponse json(const QJsonObject &object, int status = 200)
{
    HttpResponse response;
    response.status = status;
    response.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return response;
}

HttpResponse ok(QJsonObject object = {})
{
    object.insert(QLatin1String("success"), true);
    return json(object);
}

// Refusals of the application travel with status 200, so the program reads and shows the text.
HttpResponse refuse(const QString &message, int status = 200)
{
    HttpResponse response;
    response.status = status;
    response.body = ServiceApi::errorJson(message);
    return response;
}

HttpResponse internalError()
{
    return refuse(QString::fromUtf8(kServerError), 500);
}

void appendJsonString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xf];
        } else {
            out += c;
        }
    }
    out += '"';
}

QString formatTime(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool hasControlCharacters(const QString &text, bool allowLineBreaks)
{
    for (const QChar c : text) {
        if (allowLineBreaks && (c == QLatin1Char('\n') || c == QLatin1Char('\t')))
            continue;
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

// Reads a whole JSON number within [min, max]; refusal text in error otherwise.
bool readInteger(const QJsonObject &body, const char *key, qint64 min, qint64 max, qint64 &out,
    QString &error, const QString &rangeMessage)
{
    const QJsonValue value = body.value(QLatin1String(key));
    if (value.isUndefined()) {
        error = QStringLiteral("Не указано поле \"%1\"").arg(QLatin1String(key));
        return false;
    }
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || std::isnan(number) || std::floor(number) != number) {
        error = QStringLiteral("Поле \"%1\" должно быть целым числом").arg(QLatin1String(key));
        return false;
    }
    if (number < static_cast<double>(min) || number > static_cast<double>(max)) {
        error = rangeMessage;
        return false;
    }
    out = static_cast<qint64>(number);
    return true;
}

bool readText(const QJsonObject &body, const char *key, int maxLength, bool required, bool allowLineBreaks,
    QString &out, QString &error, const QString &what)
{
    const QJsonValue value = body.value(QLatin1String(key));
    if (value.isUndefined() && !required) {
        out.clear();
        return true;
    }
    if (!value.isString()) {
        error = QStringLiteral("Поле \"%1\" должно быть строкой").arg(QLatin1String(key));
        return false;
    }
    out = value.toString().trimmed();
    if (required && out.isEmpty()) {
        error = QStringLiteral("%1 не может быть пустым").arg(what);
        return false;
    }
    if (out.size() > maxLength) {
        error = QStringLiteral("%1 длиннее %2 символов").arg(what).arg(maxLength);
        return false;
    }
    if (hasControlCharacters(out, allowLineBreaks)) {
        error = QStringLiteral("%1 содержит недопустимые символы").arg(what);
        return false;
    }
    return true;
}

} // namespace

ServiceApi::ServiceApi(
    ServiceStore &store, qint64 onlineWindowMs, const QString &staticDir, const ServiceLimits &limits)
    : m_store(store)
    , m_onlineWindowMs(onlineWindowMs)
    , m_staticDir(staticDir.isEmpty() ? QString() : QDir(staticDir).canonicalPath())
    , m_limits(limits)
{ }

void ServiceApi::sweep()
{
    m_rates.forgetIdle(QDateTime::currentMSecsSinceEpoch());
}

QByteArray ServiceApi::errorJson(const QString &message)
{
    QJsonObject object;
    object.insert(QLatin1String("success"), false);
    object.insert(QLatin1String("error"), message);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

HttpResponse ServiceApi::handle(const HttpRequest &request)
{
    struct Route
    {
        const char *path;
        const char *method;
    };
    static const Route routes[] = {
        {"/heartbeat.php", "POST"},
        {"/online_count.php", "GET"},
        {"/publish_port.php", "POST"},
        {"/get_ports.php", "GET"},
        {"/get_comments.php", "GET"},
        {"/unpublish_port.php", "POST"},
        {"/add_comment.php", "POST"},
    };
    const Route *route = nullptr;
    for (const Route &candidate : routes) {
        if (request.path == QLatin1String(candidate.path))
            route = &candidate;
    }
    if (!route) {
        if (!m_staticDir.isEmpty() && request.method == "GET")
            return staticFile(request);
        return refuse(QStringLiteral("Неизвестный адрес: %1").arg(request.path), 404);
    }
    if (request.method != route->method) {
        HttpResponse response
            = refuse(QStringLiteral("Метод %1 не поддерживается, нужен %2")
                         .arg(QString::fromLatin1(request.method), QLatin1String(route->method)),
                405);
        response.extraHeaders.append(qMakePair(QByteArray("Allow"), QByteArray(route->method)));
        return response;
    }

    if (request.method == "GET") {
        if (request.path == QLatin1String("/online_count.php"))
            return onlineCount();
        if (request.path == QLatin1String("/get_ports.php"))
            return getPorts();
        return getComments(request);
    }

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &parseError);
    // Every attempt counts, the malformed ones too.
    if (const int wait = throttle(request, document.object())) {
        HttpResponse response
            = refuse(QStringLiteral("Слишком много запросов. Повторите через %1 с.").arg(wait), 429);
        response.extraHeaders.append(qMakePair(QByteArray("Retry-After"), QByteArray::number(wait)));
        return response;
    }
    if (parseError.error != QJsonParseError::NoError)
        return refuse(QStringLiteral("Тело запроса не является JSON: %1").arg(parseError.errorString()));
    if (!document.isObject())
        return refuse(QStringLiteral("Тело запроса должно быть объектом JSON"));
    const QJsonObject body = document.object();
    if (request.path == QLatin1String("/heartbeat.php"))
        return heartbeat(body);
    if (request.path == QLatin1String("/publish_port.php"))
        return publishPort(body);
    if (request.path == QLatin1String("/unpublish_port.php"))
        return unpublishPort(body);
    return addComment(body);
}

int ServiceApi::throttle(const HttpRequest &request, const QJsonObject &body)
{
    const auto text = [&body](const char *key) {
        const QJsonValue value = body.value(QLatin1String(key));
        return value.isString() ? value.toString().trimmed().left(kMaxUserNameLength * 2) : QString();
    };
    const QString address = request.peer.toString();
    QList<RateLimiter::Charge> charges;
    if (request.path == QLatin1String("/heartbeat.php")) {
        charges = {{QStringLiteral("heartbeat@") + address, m_limits.heartbeatsPerAddress},
            {QStringLiteral("heartbeat#") + text("user_id").toLower(), m_limits.heartbeatsPerUser}};
    } else if (request.path == QLatin1String("/add_comment.php")) {
        charges = {{QStringLiteral("comment@") + address, m_limits.commentsPerAddress},
            {QStringLiteral("comment#") + text("user_name"), m_limits.commentsPerName}};
    } else {
        charges = {{QStringLiteral("publish@") + address, m_limits.publishesPerAddress},
            {QStringLiteral("publish#") + text("user_name"), m_limits.publishesPerName}};
    }
    // A request without a name is limited by its address only.
    if (charges.last().key.endsWith(QLatin1Char('#')))
        charges.removeLast();
    return m_rates.take(charges, QDateTime::currentMSecsSinceEpoch());
}

HttpResponse ServiceApi::heartbeat(const QJsonObject &body)
{
    static const QRegularExpression userIdPattern(QStringLiteral("^[0-9a-fA-F]{64}$"));
    const QJsonValue userId = body.value(QLatin1String("user_id"));
    if (!userId.isString() || !userIdPattern.match(userId.toString()).hasMatch())
        return refuse(QStringLiteral("Поле \"user_id\" должно содержать 64 шестнадцатеричные цифры"));
    QString version;
    QString error;
    if (!readText(body, "app_version", kMaxVersionLength, false, false, version, error,
            QStringLiteral("Версия программы")))
        return refuse(error);
    if (!m_store.heartbeat(userId.toString().toLower(), version, QDateTime::currentMSecsSinceEpoch()))
        return internalError();
    return ok();
}

HttpResponse ServiceApi::onlineCount()
{
    const qint64 count = m_store.onlineCount(QDateTime::currentMSecsSinceEpoch(), m_onlineWindowMs);
    if (count < 0)
        return internalError();
    QJsonObject object;
    object.insert(QLatin1String("online"), count);
    return ok(object);
}

HttpResponse ServiceApi::publishPort(const QJsonObject &body)
{
    QString error;
    QString userName;
    QString description;
    QString comment;
    qint64 port = 0;
    qint64 status = 0;
    if (!readText(body, "user_name", kMaxUserNameLength, true, false, userName, error,
            QStringLiteral("Имя пользователя"))
        || !readInteger(body, "port", kMinPort, kMaxPort, port, error,
            QStringLiteral("Порт должен быть в диапазоне %1-%2").arg(kMinPort).arg(kMaxPort))
        || !readText(body, "description", kMaxDescriptionLength + 3 + kMaxCommentLength, true, true,
            description, error, QStringLiteral("Описание"))
        || !readInteger(body, "status", 0, 2, status, error, QStringLiteral("Статус должен быть 0, 1 или 2"))
        || !readText(
            body, "comment", kMaxCommentLength, false, true, comment, error, QStringLiteral("Комментарий")))
        return refuse(error);
    // The listing joins description and comment with this separator, and the program copies a
    // listed entry into its favourites as that joined text. Such a description is split at its
    // first separator so that the listing shows again exactly what was sent.
    const QString separator = QStringLiteral("\n📝 ");
    const qsizetype joined = description.indexOf(separator);
    if (joined >= 0) {
        const QString carried = description.mid(joined + separator.size()).trimmed();
        description = description.left(joined).trimmed();
        if (description.isEmpty())
            return refuse(QStringLiteral("Описание не может быть пустым"));
        if (carried.size() > kMaxCommentLength)
            return refuse(QStringLiteral("Комментарий длиннее %1 символов").arg(kMaxCommentLength));
        if (!carried.isEmpty())
            comment = comment.isEmpty() ? carried : carried + separator + comment;
    }
    if (description.size() > kMaxDescriptionLength)
        return refuse(QStringLiteral("Описание длиннее %1 символов").arg(kMaxDescriptionLength));
    qint64 id = 0;
    const ServiceStore::Outcome outcome = m_store.publish(userName, static_cast<int>(port), description,
        comment, static_cast<int>(status), QDateTime::currentSecsSinceEpoch(), m_limits.entriesPerName, &id);
    if (outcome == ServiceStore::Outcome::TooMany)
        return refuse(QStringLiteral("Под одним именем можно опубликовать не больше %1 портов: удалите "
                                     "ненужные и попробуйте снова")
                          .arg(m_limits.entriesPerName));
    if (outcome != ServiceStore::Outcome::Done)
        return internalError();
    portsChanged();
    QJsonObject object;
    object.insert(QLatin1String("id"), id);
    return ok(object);
}

HttpResponse ServiceApi::getPorts()
{
    // One reader rebuilds while the others wait for its result.
    QMutexLocker locker(&m_portsMutex);
    const quint64 generation = m_portsGeneration.loadAcquire();
    if (!m_portsCacheAge.isValid() || m_portsCacheAge.elapsed() >= kPortsCacheMs
        || m_portsCacheGeneration != generation) {
        QList<StoredPort> ports;
        if (!m_store.listPorts(ports, m_limits.listedEntries))
            return internalError();
        // Written by hand: a thousand entries through QJsonObject cost several milliseconds.
        const QString separator = QStringLiteral("\n📝 ");
        QByteArray out;
        out.reserve(64 + ports.size() * 220);
        out += "{\"success\":true,\"ports\":[";
        for (qsizetype i = 0; i < ports.size(); ++i) {
            const StoredPort &entry = ports.at(i);
            if (i > 0)
                out += ',';
            out += "{\"id\":" + QByteArray::number(entry.id) + ",\"user_name\":";
            appendJsonString(out, entry.userName);
            out += ",\"port\":" + QByteArray::number(entry.port) + ",\"description\":";
            appendJsonString(out,
                entry.comment.isEmpty() ? entry.description : entry.description + separator + entry.comment);
            // The protocol has no request that likes an entry; the members are kept for the reader.
            out += ",\"status\":" + QByteArray::number(entry.status)
                + ",\"likes\":0,\"user_liked\":false,\"created_at\":\""
                + formatTime(entry.createdAt).toLatin1() + "\"}";
        }
        out += "]}";
        m_portsCache = out;
        m_portsCacheGeneration = generation;
        m_portsCacheAge.start();
    }
    HttpResponse response;
    response.body = m_portsCache;
    return response;
}

HttpResponse ServiceApi::getComments(const HttpRequest &request)
{
    static const QRegularExpression idPattern(QStringLiteral("^[0-9]{1,18}$"));
    const QString text = request.query.queryItemValue(QStringLiteral("port_id"), QUrl::FullyDecoded);
    if (!idPattern.match(text).hasMatch() || text.toLongLong() < 1)
        return refuse(QStringLiteral("Параметр \"port_id\" должен быть положительным целым числом"));
    QList<StoredComment> comments;
    if (!m_store.listComments(text.toLongLong(), comments))
        return internalError();
    QJsonArray array;
    for (const StoredComment &entry : comments) {
        QJsonObject object;
        object.insert(QLatin1String("id"), entry.id);
        object.insert(QLatin1String("user_name"), entry.userName);
        object.insert(QLatin1String("comment"), entry.comment);
        object.insert(QLatin1String("created_at"), formatTime(entry.createdAt));
        array.append(object);
    }
    QJsonObject object;
    object.insert(QLatin1String("comments"), array);
    return ok(object);
}

HttpResponse ServiceApi::unpublishPort(const QJsonObject &body)
{
    QString error;
    QString userName;
    qint64 portId = 0;
    if (!readText(body, "user_name", kMaxUserNameLength, true, false, userName, error,
            QStringLiteral("Имя пользователя"))
        || !readInteger(body, "port_id", 1, Q_INT64_C(1) << 53, portId, error,
            QStringLiteral("Поле \"port_id\" должно быть положительным целым числом")))
        return refuse(error);
    switch (m_store.unpublish(portId, userName)) {
    case ServiceStore::Outcome::Done:
        portsChanged();
        return ok();
    case ServiceStore::Outcome::NotFound:
        return refuse(QStringLiteral("Порт не найден в каталоге"));
    case ServiceStore::Outcome::NotOwner:
        return refuse(QStringLiteral("Можно удалить только свои порты"));
    default:
        return internalError();
    }
}

HttpResponse ServiceApi::addComment(const QJsonObject &body)
{
    QString error;
    QString userName;
    QString comment;
    qint64 portId = 0;
    if (!readInteger(body, "port_id", 1, Q_INT64_C(1) << 53, portId, error,
            QStringLiteral("Поле \"port_id\" должно быть положительным целым числом"))
        || !readText(body, "user_name", kMaxUserNameLength, true, false, userName, error,
            QStringLiteral("Имя пользователя"))
        || !readText(
            body, "comment", kMaxCommentLength, true, true, comment, error, QStringLiteral("Комментарий")))
        return refuse(error);
    qint64 id = 0;
    switch (m_store.addComment(
        portId, userName, comment, QDateTime::currentSecsSinceEpoch(), m_limits.commentsPerEntry, &id)) {
    case ServiceStore::Outcome::Done:
        break;
    case ServiceStore::Outcome::NotFound:
        return refuse(QStringLiteral("Порт не найден в каталоге"));
    case ServiceStore::Outcome::TooMany:
        return refuse(QStringLiteral("У этого порта уже %1 комментариев, больше добавить нельзя")
                          .arg(m_limits.commentsPerEntry));
    default:
        return internalError();
    }
    QJsonObject object;
    object.insert(QLatin1String("id"), id);
    return ok(object);
}

HttpResponse ServiceApi::staticFile(const HttpRequest &request)
{
    const QString relative = QDir::cleanPath(QLatin1Char('/') + request.path);
    const QFileInfo info(m_staticDir + relative);
    const QString canonical = info.canonicalFilePath();
    // Paths that leave the folder (through "..", links or otherwise) are not served.
    if (canonical.isEmpty() || !canonical.startsWith(m_staticDir + QLatin1Char('/')) || !info.isFile())
        return refuse(QStringLiteral("Неизвестный адрес: %1").arg(request.path), 404);
    QFile file(canonical);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("Файл недоступен"), 404);
    HttpResponse response;
    response.contentType = canonical.endsWith(QLatin1String(".json")) ? QByteArray("application/json")
        : canonical.endsWith(QLatin1String(".html"))                  ? QByteArray("text/html; charset=utf-8")
                                                     : QByteArray("application/octet-stream");
    response.body = file.readAll();
    return response;
}
