#include "core/settingskeys.h"
#include "favorites/favoriteportsmanager.h"

#include <QtTest>

namespace {

FavoritePort fav(quint16 port, const QString &description, int status = 0,
    const QDateTime &added = QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5)))
{
    return FavoritePort {port, description, added, status};
}

// "port|description|status;..." in the store's order.
QString listed(const FavoritePortsManager &m)
{
    QStringList items;
    for (const FavoritePort &f : m.favorites())
        items << QStringLiteral("%1|%2|%3").arg(f.port).arg(f.description).arg(f.status);
    return items.join(QLatin1Char(';'));
}

} // namespace

class TestFavorites : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        openSettings().remove(QString::fromLatin1(SettingsKeys::kFavoritePorts));
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // Only 9000-9999 with a description is stored, and what is stored the next start reads.
    void portRange()
    {
        const struct
        {
            quint16 port;
            const char *description;
            bool stored;
        } cases[] = {{8999, "d", false}, {9000, "d", true}, {9999, "d", true}, {10000, "d", false},
            {0, "d", false}, {9100, "", false}};
        for (const auto &c : cases) {
            FavoritePortsManager m;
            QSignalSpy changed(&m, &FavoritePortsManager::favoritesChanged);
            QCOMPARE(m.addFavorite(fav(c.port, QString::fromUtf8(c.description))), c.stored);
            QCOMPARE(changed.count(), c.stored ? 1 : 0);
            QCOMPARE(FavoritePortsManager().isFavorite(c.port), c.stored);
        }
    }

    void edits()
    {
        FavoritePortsManager m;
        m.addFavorite(fav(9100, QStringLiteral("first")));
        m.addFavorite(fav(9200, QStringLiteral("second")));
        // Adding a known port replaces it in place; moving one to another port puts it last.
        QVERIFY(m.addFavorite(fav(9100, QStringLiteral("renamed"), 2)));
        QCOMPARE(listed(m), QStringLiteral("9100|renamed|2;9200|second|0"));
        const FavoritePort moved = fav(9150, QStringLiteral("moved"), 1, QDateTime(QDate(2024, 12, 31), {}));
        QVERIFY(m.updateFavorite(9100, moved));
        QCOMPARE(listed(m), QStringLiteral("9200|second|0;9150|moved|1"));
        QCOMPARE(m.getFavorite(9150), moved);
        QVERIFY(!m.isFavorite(9100));

        // Refused: onto another favourite, out of range, without a description.
        QSignalSpy changed(&m, &FavoritePortsManager::favoritesChanged);
        const QList<FavoritePort> before = m.favorites();
        for (const auto &[port, description] : {std::pair(9200, "x"), {10000, "x"}, {9150, ""}})
            QVERIFY(!m.updateFavorite(9150, fav(quint16(port), QString::fromUtf8(description))));
        QCOMPARE(m.favorites(), before);
        QCOMPARE(changed.count(), 0);
    }

    void persistsAcrossInstances()
    {
        QList<FavoritePort> written;
        {
            FavoritePortsManager m;
            m.addFavorite(fav(9300, QStringLiteral("c"), 1));
            m.addFavorite(fav(9100, QStringLiteral("многострочное\nописание|с чертой")));
            m.addFavorite(fav(9200, QStringLiteral("b")));
            QVERIFY(m.setFavoriteStatus(9100, 2));
            QVERIFY(!m.setFavoriteStatus(9500, 1));
            m.removeFavorite(9300); // the shorter array must not bring it back
            written = m.favorites();
        }
        QCOMPARE(FavoritePortsManager().favorites(), written);
        QCOMPARE(written.constFirst().status, 2);
    }

    void settingsWithBrokenEntries()
    {
        const QList<std::tuple<QVariant, QString, QVariant>> raw {
            {8080, QStringLiteral("out of range"), 1},
            {9100, QString(), 1},
            {9200, QStringLiteral("kept"), 1},
            {74736, QStringLiteral("9200 again after wrapping"), 0},
            {9300, QStringLiteral("odd status"), 7},
            {QStringLiteral("junk"), QStringLiteral("not a number"), 0},
            {9400, QStringLiteral("no status"), QVariant()},
        };
        {
            QSettings s = openSettings();
            s.beginWriteArray(QString::fromLatin1(SettingsKeys::kFavoritePorts), int(raw.size()));
            for (int i = 0; i < raw.size(); ++i) {
                const auto &[port, description, status] = raw.at(i);
                s.setArrayIndex(i);
                s.setValue(QStringLiteral("port"), port);
                s.setValue(QStringLiteral("description"), description);
                s.setValue(QStringLiteral("addedDate"), QDateTime(QDate(2025, 1, 1), QTime(0, 0)));
                if (status.isValid())
                    s.setValue(QStringLiteral("status"), status);
            }
            s.endArray();
        }
        for (const char *warning : {"Порт 8080 из настроек", "Порт 9200 повторяется", "Порт 0 из настроек"})
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QString::fromUtf8(warning)));
        FavoritePortsManager m;
        QCOMPARE(listed(m), QStringLiteral("9200|kept|1;9300|odd status|7;9400|no status|0"));
    }

    void exportImportRoundTrip()
    {
        const QDateTime now(QDate(2025, 3, 1), QTime(18, 4, 9));
        {
            FavoritePortsManager m(nullptr, [now] { return now; });
            m.addFavorite(fav(9500, QStringLiteral("Озеро | Старый острог"), 1));
            m.addFavorite(fav(9001, QStringLiteral("две\nстроки"), 2));
            m.addFavorite(fav(9250, QStringLiteral("x"), 0));
            QVERIFY(m.exportToFile(file("fav.txt")));
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(QStringLiteral("Не удалось открыть файл для экспорта")));
            QVERIFY(!m.exportToFile(file("missing/dir/fav.txt")));
            for (const FavoritePort &f : m.favorites())
                m.removeFavorite(f.port);
        }
        QFile f(file("fav.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.startsWith(QStringLiteral("# Файл избранных портов KESTREL v")));
        QVERIFY(text.contains(QStringLiteral("\n# Экспортировано: 01.03.2025 18:04:09\n")));
        QVERIFY(text.endsWith(QStringLiteral("\n========================================\n9001|две "
                                             "строки|2\n9250|x|0\n9500|Озеро | Старый острог|1\n")));
        // An import adds new ports after the list and replaces known ones in place.
        FavoritePortsManager fresh(nullptr, [now] { return now.addDays(1); });
        fresh.addFavorite(fav(9500, QStringLiteral("old"), 2));
        fresh.addFavorite(fav(9700, QStringLiteral("untouched"), 2));
        QSignalSpy imported(&fresh, &FavoritePortsManager::favoritesImported);
        QVERIFY(fresh.importFromFile(file("fav.txt")));
        QCOMPARE(imported.first().at(0).toInt(), 3);
        QCOMPARE(listed(fresh),
            QStringLiteral("9500|Озеро | Старый острог|1;9700|untouched|2;9001|две строки|2;9250|x|0"));
        QCOMPARE(fresh.getFavorite(9001).addedDate, now.addDays(1));
    }

    void importLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("warning");
        const auto row
            = [](const char *tag, const char *content, const char *stored, const char *warning = "") {
                  QTest::newRow(tag) << QByteArray(content) << QString::fromUtf8(stored)
                                     << QString::fromUtf8(warning);
              };
        row("status 7 reads as 0", "9050|Плес|7\n", "9050|Плес|0");
        row("no status part", "9050|Плес\n", "9050|Плес|0");
        row("port only", "9050\n", "", "Неверный формат строки 1");
        row("port 8080", "8080|web|1\n", "", "Пропущен порт \"8080\"");
        row("comments and blanks only", "# one\n\n   \n=== two\n", "");
        row("line break left in a file", "9200|first\nsecond half|1\n", "9200|first|0",
            "Пропущен порт \"second half\" \\(разрешены только 9000-9999\\) в строке 2");
        row("empty description", "9300||1\n", "");
        row("BOM, CRLF, spaces", "\xEF\xBB\xBF# c\r\n 9400 | x |2\r\n", "9400| x |2");
    }

    void importLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, stored);
        QFETCH(QString, warning);
        QVERIFY(write("in.txt", content));
        FavoritePortsManager m;
        QSignalSpy imported(&m, &FavoritePortsManager::favoritesImported);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        QCOMPARE(m.importFromFile(file("in.txt")), !stored.isEmpty());
        QCOMPARE(listed(m), stored);
        QCOMPARE(imported.count(), stored.isEmpty() ? 0 : 1);
    }

    void validation()
    {
        QVERIFY(write("check.txt",
            "# header\n9001|a|0\nno separator\n9002|b\n8000|low|1\n# another comment\n9003|c|2\nalso none\n"
            "9004|d|1\n9005|e|0\n"));
        FavoritePortsManager m;
        QCOMPARE(m.validateImportFile(file("check.txt")),
            QStringLiteral(
                "Невалидных строк: 2|Портов вне диапазона: 1|Валидных портов (9000-9999): 5|Найдено "
                "строк: 10|Строка 3: Неверный формат|Строка 5: Порт '8000' не входит в диапазон "
                "9000-9999 (пропущен)|Строка 8: Неверный формат")
                .split(QLatin1Char('|')));
        QVERIFY(m.favorites().isEmpty()); // a dry run
        QCOMPARE(m.validateImportFile(file("absent.txt")),
            QStringList {QStringLiteral("Ошибка: Не удалось открыть файл")});
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("Не удалось открыть файл для импорта")));
        QVERIFY(!m.importFromFile(file("absent.txt")));
    }

private:
    QString file(const char *name) const { return m_dir->filePath(QString::fromLatin1(name)); }
    bool write(const char *name, const QByteArray &text) const
    {
        QFile f(file(name));
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestFavorites)
#include "tst_favorites.moc"
