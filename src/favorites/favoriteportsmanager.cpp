#include "favorites/favoriteportsmanager.h"

#include <QDebug>
#include <QSettings>

#include <algorithm>

#include "core/appconfig.h"
#include "core/settingskeys.h"
#include "records/recordfile.h"

namespace {

bool isSkippedImportLine(const QString &line)
{
    return line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1String("==="));
}

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

// A data line: port|description, optionally |status. This program's own export writes a
// description as it is, "|" included, and ends the line with the status number; so when
// the last piece is a number, everything between port and status is the description.
// Otherwise piece 2 is the description and piece 3 the status (0 unless 0, 1 or 2).
struct ImportLine
{
    QString portText;
    QString description;
    int status = 0;
};

int importStatus(const QString &text, bool *isNumber = nullptr)
{
    bool number = false;
    const int status = text.trimmed().toInt(&number);
    if (isNumber)
        *isNumber = number;
    return (number && status >= 0 && status <= 2) ? status : 0;
}

ImportLine splitImportLine(const QStringList &parts)
{
    ImportLine line;
    line.portText = parts.at(0);
    line.description = parts.at(1);
    if (parts.size() < 3)
        return line;
    bool lastIsNumber = false;
    const int lastStatus = importStatus(parts.last(), &lastIsNumber);
    if (lastIsNumber) {
        line.description = parts.mid(1, parts.size() - 2).join(QLatin1Char('|'));
        line.status = lastStatus;
    } else {
        line.status = importStatus(parts.at(2));
    }
    return line;
}

} // namespace

FavoritePortsManager::FavoritePortsManager(QObject *parent, Clock clock)
    : QObject(parent), m_clock(std::move(clock))
{
    loadFavorites();
}

FavoritePortsManager::~FavoritePortsManager()
{
    saveFavorites();
}

QString FavoritePortsManager::statusName(int status)
{
    switch (status) {
    case 1:
        return QStringLiteral("ХОРОШИЙ");
    case 2:
        return QStringLiteral("ПЛОХОЙ");
    default:
        return QStringLiteral("НОРМАЛЬНЫЙ");
    }
}

qsizetype FavoritePortsManager::indexOf(quint16 port) const
{
    for (qsizetype i = 0; i < m_favorites.size(); ++i) {
        if (m_favorites.at(i).port == port)
            return i;
    }
    return -1;
}

bool FavoritePortsManager::isFavorite(quint16 port) const
{
    return indexOf(port) >= 0;
}

FavoritePort FavoritePortsManager::getFavorite(quint16 port) const
{
    const qsizetype i = indexOf(port);
    return i >= 0 ? m_favorites.at(i) : FavoritePort();
}

bool FavoritePortsManager::addFavorite(const FavoritePort &favorite)
{
    if (favorite.port == 0 || favorite.description.isEmpty())
        return false;
    if (!isAllowedPort(favorite.port)) {
        qWarning() << "[FAVORITE] Порт" << favorite.port
                   << "не входит в разрешённый диапазон 9000-9999. Порт не добавлен.";
        return false;
    }
    const qsizetype i = indexOf(favorite.port);
    if (i >= 0) {
        FavoritePort &existing = m_favorites[i];
        existing.description = favorite.description;
        existing.addedDate = favorite.addedDate;
        existing.status = favorite.status;
        saveFavorites();
        emit favoriteUpdated(favorite);
        emit favoritesChanged();
        qDebug() << "[FAVORITE] Обновлен порт:" << favorite.port << "-" << favorite.description;
        return true;
    }
    m_favorites.append(favorite);
    saveFavorites();
    emit favoriteAdded(favorite);
    emit favoritesChanged();
    qDebug() << "[FAVORITE] Добавлен порт:" << favorite.port << "-" << favorite.description
             << "Статус:" << statusName(favorite.status);
    return true;
}

bool FavoritePortsManager::removeFavorite(quint16 port)
{
    const qsizetype i = indexOf(port);
    if (i < 0)
        return false;
    m_favorites.removeAt(i);
    saveFavorites();
    emit favoriteRemoved(port);
    emit favoritesChanged();
    qDebug() << "[FAVORITE] Удален порт:" << port;
    return true;
}

bool FavoritePortsManager::updateFavorite(quint16 oldPort, const FavoritePort &favorite)
{
    // The edit removes the old entry before adding the new one, and an add without a
    // description is dropped: refuse here so an edit can never lose the entry.
    if (favorite.description.isEmpty()) {
        qWarning() << "[FAVORITE] Пустое описание. Порт" << oldPort << "не обновлён.";
        return false;
    }
    if (favorite.port != oldPort && isFavorite(favorite.port)) {
        qWarning() << "[FAVORITE] Порт" << favorite.port << "уже в избранном";
        return false;
    }
    if (!isAllowedPort(favorite.port)) {
        qWarning() << "[FAVORITE] Порт" << favorite.port
                   << "не входит в разрешённый диапазон 9000-9999. Порт не обновлён.";
        return false;
    }
    removeFavorite(oldPort);
    addFavorite(favorite);
    emit favoritesChanged();
    return true;
}

bool FavoritePortsManager::setFavoriteStatus(quint16 port, int status)
{
    const qsizetype i = indexOf(port);
    if (i < 0)
        return false;
    m_favorites[i].status = status;
    saveFavorites();
    emit favoriteUpdated(m_favorites.at(i));
    qDebug() << "[FAVORITE] Изменен статус порта" << port << "на" << statusName(status);
    return true;
}

bool FavoritePortsManager::saveFavorites()
{
    QSettings settings = openSettings();
    settings.beginWriteArray(key(SettingsKeys::kFavoritePorts), int(m_favorites.size()));
    for (int i = 0; i < m_favorites.size(); ++i) {
        const FavoritePort &f = m_favorites.at(i);
        settings.setArrayIndex(i);
        settings.setValue(key(SettingsKeys::kFavoritePort), int(f.port));
        settings.setValue(key(SettingsKeys::kFavoriteDescription), f.description);
        settings.setValue(key(SettingsKeys::kFavoriteAddedDate), f.addedDate);
        settings.setValue(key(SettingsKeys::kFavoriteStatus), f.status);
    }
    settings.endArray();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qWarning() << "[FAVORITE] Не удалось сохранить избранные порты:" << settings.fileName();
        return false;
    }
    return true;
}

void FavoritePortsManager::loadFavorites()
{
    m_favorites.clear();
    QSettings settings = openSettings();
    const int size = settings.beginReadArray(key(SettingsKeys::kFavoritePorts));
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        const auto port = static_cast<quint16>(settings.value(key(SettingsKeys::kFavoritePort)).toUInt());
        if (!isAllowedPort(port)) {
            qWarning() << "[FAVORITE] Порт" << port
                       << "из настроек не входит в диапазон 9000-9999. Пропускаем.";
            continue;
        }
        FavoritePort f;
        f.port = port;
        f.description = settings.value(key(SettingsKeys::kFavoriteDescription)).toString();
        f.addedDate = settings.value(key(SettingsKeys::kFavoriteAddedDate)).toDateTime();
        f.status = settings.value(key(SettingsKeys::kFavoriteStatus), 0).toInt();
        if (f.description.isEmpty())
            continue;
        // One entry per port: a hand-edited store may repeat one; the first counts.
        if (isFavorite(port)) {
            qWarning() << "[FAVORITE] Порт" << port << "повторяется в настройках. Пропускаем.";
            continue;
        }
        m_favorites.append(f);
    }
    settings.endArray();
    qDebug() << "[FAVORITE] Загружено портов:" << m_favorites.size();
}

bool FavoritePortsManager::exportToFile(const QString &filePath) const
{
    QList<FavoritePort> sorted = m_favorites;
    std::stable_sort(sorted.begin(), sorted.end(),
        [](const FavoritePort &a, const FavoritePort &b) { return a.port < b.port; });

    QString text;
    text += QStringLiteral("# Файл избранных портов KESTREL v") + QString::fromLatin1(AppConfig::kAppVersion)
        + QLatin1Char('\n');
    text += QStringLiteral("# Экспортировано: ")
        + clockNow(m_clock).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) + QLatin1Char('\n');
    text += QStringLiteral("# Формат: порт|описание|статус\n");
    text += QStringLiteral("# Статусы: 0-нормальный, 1-хороший, 2-плохой\n");
    text += QStringLiteral("# Примечание: допускаются только порты 9000-9999\n");
    text += QStringLiteral("========================================\n");
    for (const FavoritePort &f : sorted) {
        // A line break would split the entry into two lines on import.
        text += QString::number(f.port) + QLatin1Char('|') + RecordFile::singleLine(f.description)
            + QLatin1Char('|') + QString::number(f.status) + QLatin1Char('\n');
    }
    if (!RecordFile::writeAtomically(filePath, text.toUtf8())) {
        qWarning() << "[FAVORITE] Не удалось открыть файл для экспорта:" << filePath;
        return false;
    }
    qDebug() << "[FAVORITE] Экспортировано" << sorted.size() << "портов в:" << filePath;
    return true;
}

bool FavoritePortsManager::importFromFile(const QString &filePath)
{
    bool ok = false;
    const QStringList lines = RecordFile::readLines(filePath, &ok);
    if (!ok) {
        qWarning() << "[FAVORITE] Не удалось открыть файл для импорта:" << filePath;
        return false;
    }
    int imported = 0;
    int lineNumber = 0;
    for (const QString &raw : lines) {
        ++lineNumber;
        const QString line = raw.trimmed();
        if (isSkippedImportLine(line))
            continue;
        const QStringList parts = line.split(QLatin1Char('|'), Qt::KeepEmptyParts);
        if (parts.size() < 2) {
            qWarning() << "[FAVORITE] Неверный формат строки" << lineNumber << ":" << line;
            continue;
        }
        const ImportLine entry = splitImportLine(parts);
        bool isNumber = false;
        const quint16 port = entry.portText.trimmed().toUShort(&isNumber);
        if (!isNumber || !isAllowedPort(port)) {
            qWarning() << "[FAVORITE] Пропущен порт" << entry.portText
                       << "(разрешены только 9000-9999) в строке" << lineNumber;
            continue;
        }
        FavoritePort f;
        f.port = port;
        f.description = entry.description;
        f.status = entry.status;
        f.addedDate = clockNow(m_clock);
        // Only entries that were really stored count (an empty description is not).
        if (addFavorite(f))
            ++imported;
    }
    if (imported == 0)
        return false;
    qDebug() << "[FAVORITE] Импортировано" << imported << "портов из:" << filePath;
    emit favoritesImported(imported);
    return true;
}

QStringList FavoritePortsManager::validateImportFile(const QString &filePath) const
{
    bool ok = false;
    const QStringList lines = RecordFile::readLines(filePath, &ok);
    if (!ok)
        return {QStringLiteral("Ошибка: Не удалось открыть файл")};

    QStringList report;
    int valid = 0;
    int outOfRange = 0;
    int invalid = 0;
    int lineNumber = 0;
    for (const QString &raw : lines) {
        ++lineNumber;
        const QString line = raw.trimmed();
        if (isSkippedImportLine(line))
            continue;
        const QStringList parts = line.split(QLatin1Char('|'), Qt::KeepEmptyParts);
        if (parts.size() < 2) {
            ++invalid;
            report << QStringLiteral("Строка %1: Неверный формат").arg(lineNumber);
            continue;
        }
        bool isNumber = false;
        const quint16 port = parts.at(0).trimmed().toUShort(&isNumber);
        if (!isNumber) {
            ++invalid;
            report << QStringLiteral("Строка %1: Неверный порт '%2'").arg(lineNumber).arg(parts.at(0));
        } else if (!isAllowedPort(port)) {
            ++outOfRange;
            report << QStringLiteral("Строка %1: Порт '%2' не входит в диапазон 9000-9999 (пропущен)")
                          .arg(lineNumber)
                          .arg(parts.at(0));
        } else {
            ++valid;
        }
    }
    report.insert(0, QStringLiteral("Найдено строк: %1").arg(lines.size()));
    report.insert(0, QStringLiteral("Валидных портов (9000-9999): %1").arg(valid));
    report.insert(0, QStringLiteral("Портов вне диапазона: %1").arg(outOfRange));
    report.insert(0, QStringLiteral("Невалидных строк: %1").arg(invalid));
    return report;
}
