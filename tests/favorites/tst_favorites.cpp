#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "core/settingskeys.h"
#include "favorites/favoriteportsmanager.h"

namespace {

FavoritePort fav(quint16 port, const QString &description, int status = 0,
    const QDateTime &added = QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5)))
{
    return FavoritePort {port, description, added, status};
}

QList<quint16> ports(const FavoritePortsManager &m)
{
    QList<quint16> result;
    for (const FavoritePort &f : m.favorites())
        result << f.port;
    return result;
}

// Every signal of a manager, in emission order.
class SignalLog : public QObject
{
public:
    explicit SignalLog(FavoritePortsManager *m)
    {
        const auto log = [this](const char *name) {
            return [this, name](const auto &value) {
                if constexpr (std::is_same_v<std::decay_t<decltype(value)>, FavoritePort>)
                    entries << QStringLiteral("%1:%2").arg(QLatin1String(name)).arg(value.port);
                else
                    entries << QStringLiteral("%1:%2").arg(QLatin1String(name)).arg(value);
            };
        };
        connect(m, &FavoritePortsManager::favoriteAdded, this, log("added"));
        connect(m, &FavoritePortsManager::favoriteRemoved, this, log("removed"));
        connect(m, &FavoritePortsManager::favoriteUpdated, this, log("updated"));
        connect(m, &FavoritePortsManager::favoritesImported, this, log("imported"));
        connect(m, &FavoritePortsManager::favoritesChanged, this,
            [this] { entries << QStringLiteral("changed"); });
    }
    QStringList entries;
};

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

    void portRange_data()
    {
        QTest::addColumn<quint16>("port");
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("warns");
        const auto row = [](quint16 port, const char *text, bool stored, bool warns) {
            QTest::addRow("%d %s", port, text) << port << QString::fromUtf8(text) << stored << warns;
        };
        row(8999, "d", false, true);
        row(9000, "d", true, false);
        row(9999, "d", true, false);
        row(10000, "d", false, true);
        row(0, "d", false, false);
        row(9100, "", false, false);
    }

    void portRange()
    {
        QFETCH(quint16, port);
        QFETCH(QString, description);
        QFETCH(bool, stored);
        QFETCH(bool, warns);
        FavoritePortsManager m;
        SignalLog log(&m);
        if (warns)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(QStringLiteral("не входит в разрешённый диапазон")));
        QCOMPARE(m.addFavorite(fav(port, description)), stored);
        const QStringList added {QStringLiteral("added:%1").arg(port), QStringLiteral("changed")};
        QCOMPARE(log.entries, stored ? added : QStringList());
        QCOMPARE(FavoritePortsManager().isFavorite(port), stored); // what the next start reads
    }

    void addExistingReplaces()
    {
        FavoritePortsManager m;
        m.addFavorite(fav(9100, QStringLiteral("first")));
        m.addFavorite(fav(9200, QStringLiteral("second")));
        SignalLog log(&m);
        const FavoritePort replacement
            = fav(9100, QStringLiteral("renamed"), 2, QDateTime(QDate(2026, 5, 6), QTime(7, 8)));
        QVERIFY(m.addFavorite(replacement));
        QCOMPARE(log.entries, (QStringList {QStringLiteral("updated:9100"), QStringLiteral("changed")}));
        QCOMPARE(ports(m), (QList<quint16> {9100, 9200}));
        QCOMPARE(m.getFavorite(9100), replacement);
    }

    void editSignalsInOrder()
    {
        FavoritePortsManager m;
        const QDateTime added(QDate(2024, 12, 31), QTime(23, 59, 59));
        m.addFavorite(fav(9100, QStringLiteral("edited"), 0, added));
        m.addFavorite(fav(9200, QStringLiteral("other")));
        SignalLog log(&m);
        QVERIFY(m.updateFavorite(9100, fav(9150, QStringLiteral("moved"), 1, added)));
        QCOMPARE(log.entries,
            (QStringList {QStringLiteral("removed:9100"), QStringLiteral("changed"),
                QStringLiteral("added:9150"), QStringLiteral("changed"), QStringLiteral("changed")}));
        QCOMPARE(ports(m), (QList<quint16> {9200, 9150}));
        QCOMPARE(m.getFavorite(9150), fav(9150, QStringLiteral("moved"), 1, added));
    }

    void refusedEdits_data()
    {
        QTest::addColumn<quint16>("newPort");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("warning");
        const auto row = [](quint16 port, const char *text, const char *warning) {
            QTest::addRow("%d '%s'", port, text)
                << port << QString::fromUtf8(text) << QString::fromUtf8(warning);
        };
        row(9200, "x", "уже в избранном"); // onto another favourite
        row(10000, "x", "Порт не обновлён");
        row(9100, "", "Пустое описание");
    }

    void refusedEdits()
    {
        QFETCH(quint16, newPort);
        QFETCH(QString, description);
        QFETCH(QString, warning);
        FavoritePortsManager m;
        m.addFavorite(fav(9100, QStringLiteral("one")));
        m.addFavorite(fav(9200, QStringLiteral("two")));
        const QList<FavoritePort> before = m.favorites();
        SignalLog log(&m);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        QVERIFY(!m.updateFavorite(9100, fav(newPort, description)));
        QCOMPARE(m.favorites(), before);
        QVERIFY(log.entries.isEmpty());
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
                s.setArrayIndex(i);
                s.setValue(QStringLiteral("port"), std::get<0>(raw.at(i)));
                s.setValue(QStringLiteral("description"), std::get<1>(raw.at(i)));
                s.setValue(QStringLiteral("addedDate"), QDateTime(QDate(2025, 1, 1), QTime(0, 0)));
                if (std::get<2>(raw.at(i)).isValid())
                    s.setValue(QStringLiteral("status"), std::get<2>(raw.at(i)));
            }
            s.endArray();
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Порт 8080 из настроек")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Порт 9200 повторяется")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Порт 0 из настроек")));
        FavoritePortsManager m;
        QCOMPARE(ports(m), (QList<quint16> {9200, 9300, 9400}));
        QCOMPARE(m.getFavorite(9200).description, QStringLiteral("kept"));
        QCOMPARE(m.getFavorite(9300).status, 7);
        QCOMPARE(m.getFavorite(9400).status, 0);
    }

    void exportImportRoundTrip()
    {
        const QDateTime now(QDate(2025, 3, 1), QTime(18, 4, 9));
        QList<FavoritePort> exported;
        {
            FavoritePortsManager m(nullptr, [now] { return now; });
            m.addFavorite(fav(9500, QStringLiteral("Озеро | Старый острог|5"), 1));
            m.addFavorite(fav(9001, QStringLiteral("две\nстроки"), 2));
            m.addFavorite(fav(9250, QStringLiteral("x"), 0));
            QVERIFY(m.exportToFile(file("fav.txt")));
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(QStringLiteral("Не удалось открыть файл для экспорта")));
            QVERIFY(!m.exportToFile(file("missing/dir/fav.txt")));
            exported = m.favorites();
            for (const FavoritePort &f : exported)
                m.removeFavorite(f.port);
        }
        QFile f(file("fav.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.startsWith(QStringLiteral("# Файл избранных портов KESTREL v")));
        QVERIFY(text.contains(QStringLiteral("\n# Экспортировано: 01.03.2025 18:04:09\n")));
        QVERIFY(text.endsWith(QStringLiteral("\n========================================\n9001|две "
                                             "строки|2\n9250|x|0\n9500|Озеро | Старый острог|5|1\n")));
        // An import adds new ports after the list and replaces known ones in place.
        FavoritePortsManager fresh(nullptr, [now] { return now.addDays(1); });
        fresh.addFavorite(fav(9500, QStringLiteral("old"), 2));
        fresh.addFavorite(fav(9700, QStringLiteral("untouched"), 2));
        SignalLog log(&fresh);
        QVERIFY(fresh.importFromFile(file("fav.txt")));
        QCOMPARE(log.entries.mid(4),
            (QStringList {
                QStringLiteral("updated:9500"), QStringLiteral("changed"), QStringLiteral("imported:3")}));
        QCOMPARE(ports(fresh), (QList<quint16> {9500, 9700, 9001, 9250}));
        QCOMPARE(fresh.getFavorite(9700).description, QStringLiteral("untouched"));
        QCOMPARE(fresh.getFavorite(9001).addedDate, now.addDays(1));
        for (const FavoritePort &f : exported) {
            const FavoritePort back = fresh.getFavorite(f.port);
            QCOMPARE(back.description, QString(f.description).replace(QLatin1Char('\n'), QLatin1Char(' ')));
            QCOMPARE(back.status, f.status);
        }
    }

    void importLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("stored"); // "port|description|status;..."
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
        row("pipe inside the description", "9100|a|b|1\n9101|a|b\n9102|a|b|\n",
            "9100|a|b|1;9101|a|b|0;9102|a|b|0");
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
        SignalLog log(&m);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        QCOMPARE(m.importFromFile(file("in.txt")), !stored.isEmpty());
        QStringList got;
        for (const FavoritePort &f : m.favorites())
            got << QStringLiteral("%1|%2|%3").arg(f.port).arg(f.description).arg(f.status);
        QCOMPARE(got.join(QLatin1Char(';')), stored);
        QCOMPARE(log.entries.contains(QStringLiteral("imported:%1").arg(got.size())), !stored.isEmpty());
    }

    void validation()
    {
        QVERIFY(write("check.txt",
            "# header\n9001|a|0\nno separator\n9002|b\n8000|low|1\n# another comment\n9003|c|2\nalso "
            "none\n9004|d|1\n"
            "9005|e|0\n"));
        FavoritePortsManager m;
        QCOMPARE(m.validateImportFile(file("check.txt")),
            (QStringList {QStringLiteral("Невалидных строк: 2"), QStringLiteral("Портов вне диапазона: 1"),
                QStringLiteral("Валидных портов (9000-9999): 5"), QStringLiteral("Найдено строк: 10"),
                QStringLiteral("Строка 3: Неверный формат"),
                QStringLiteral("Строка 5: Порт '8000' не входит в диапазон 9000-9999 (пропущен)"),
                QStringLiteral("Строка 8: Неверный формат")}));
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
