#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "app/settingskeys.h"
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
        connect(m, &FavoritePortsManager::favoriteAdded, this,
            [this](const FavoritePort &f) { entries << QStringLiteral("added:%1").arg(f.port); });
        connect(m, &FavoritePortsManager::favoriteRemoved, this,
            [this](quint16 p) { entries << QStringLiteral("removed:%1").arg(p); });
        connect(m, &FavoritePortsManager::favoriteUpdated, this,
            [this](const FavoritePort &f) { entries << QStringLiteral("updated:%1").arg(f.port); });
        connect(m, &FavoritePortsManager::favoritesImported, this,
            [this](int n) { entries << QStringLiteral("imported:%1").arg(n); });
        connect(m, &FavoritePortsManager::favoritesChanged, this,
            [this] { entries << QStringLiteral("changed"); });
    }
    QStringList entries;
};

bool writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

} // namespace

class TestFavorites : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void portRange_data();
    void portRange();
    void addExistingReplaces();
    void editSignalsInOrder();
    void refusedEdits_data();
    void refusedEdits();
    void statusChange();
    void persistsAcrossInstances();
    void settingsWithBrokenEntries();

    void exportFormat();
    void exportImportRoundTrip();
    void importLines_data();
    void importLines();
    void importMergesByPort();
    void importUnreadableFile();
    void validation();

private:
    QString file(const char *name) const { return m_dir->filePath(QString::fromLatin1(name)); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFavorites::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestFavorites::init()
{
    QSettings settings = openSettings();
    settings.remove(QString::fromLatin1(SettingsKeys::kFavoritePorts));
    settings.sync();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFavorites::portRange_data()
{
    QTest::addColumn<quint16>("port");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<bool>("warns");
    QTest::newRow("8999") << quint16(8999) << QStringLiteral("d") << false << true;
    QTest::newRow("9000") << quint16(9000) << QStringLiteral("d") << true << false;
    QTest::newRow("9999") << quint16(9999) << QStringLiteral("d") << true << false;
    QTest::newRow("10000") << quint16(10000) << QStringLiteral("d") << false << true;
    QTest::newRow("port 0") << quint16(0) << QStringLiteral("d") << false << false;
    QTest::newRow("empty description") << quint16(9100) << QString() << false << false;
}

void TestFavorites::portRange()
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
    QCOMPARE(m.isFavorite(port), stored);
    QCOMPARE(log.entries.size(), stored ? 2 : 0);
    // And it is what the next start reads.
    FavoritePortsManager next;
    QCOMPARE(next.isFavorite(port), stored);
}

void TestFavorites::addExistingReplaces()
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
    QCOMPARE(m.getFavorite(9300), FavoritePort());
}

void TestFavorites::editSignalsInOrder()
{
    FavoritePortsManager m;
    const QDateTime added(QDate(2024, 12, 31), QTime(23, 59, 59));
    m.addFavorite(fav(9100, QStringLiteral("edited"), 0, added));
    m.addFavorite(fav(9200, QStringLiteral("other")));
    SignalLog log(&m);
    QVERIFY(m.updateFavorite(9100, fav(9150, QStringLiteral("moved"), 1, added)));
    QCOMPARE(log.entries,
        (QStringList {QStringLiteral("removed:9100"), QStringLiteral("changed"), QStringLiteral("added:9150"),
            QStringLiteral("changed"), QStringLiteral("changed")}));
    QCOMPARE(ports(m), (QList<quint16> {9200, 9150}));
    QCOMPARE(m.getFavorite(9150), fav(9150, QStringLiteral("moved"), 1, added));
}

void TestFavorites::refusedEdits_data()
{
    QTest::addColumn<quint16>("newPort");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("warning");
    QTest::newRow("onto another favourite")
        << quint16(9200) << QStringLiteral("x") << QStringLiteral("уже в избранном");
    QTest::newRow("out of range") << quint16(10000) << QStringLiteral("x")
                                  << QStringLiteral("Порт не обновлён");
    QTest::newRow("empty description, same port")
        << quint16(9100) << QString() << QStringLiteral("Пустое описание");
    QTest::newRow("empty description, new port")
        << quint16(9300) << QString() << QStringLiteral("Пустое описание");
}

void TestFavorites::refusedEdits()
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

void TestFavorites::statusChange()
{
    {
        FavoritePortsManager m;
        m.addFavorite(fav(9100, QStringLiteral("one")));
        QSignalSpy updated(&m, &FavoritePortsManager::favoriteUpdated);
        QVERIFY(m.setFavoriteStatus(9100, 2));
        QCOMPARE(updated.size(), 1);
        QCOMPARE(updated.at(0).at(0).value<FavoritePort>().status, 2);
        QVERIFY(!m.setFavoriteStatus(9500, 1));
        QCOMPARE(updated.size(), 1);
    }
    QCOMPARE(FavoritePortsManager().getFavorite(9100).status, 2);
    QCOMPARE(FavoritePortsManager::statusName(7), QStringLiteral("НОРМАЛЬНЫЙ"));
}

void TestFavorites::persistsAcrossInstances()
{
    QList<FavoritePort> written;
    {
        FavoritePortsManager m;
        m.addFavorite(fav(9300, QStringLiteral("c"), 1));
        m.addFavorite(fav(9100, QStringLiteral("многострочное\nописание|с чертой"), 2));
        m.addFavorite(fav(9200, QStringLiteral("b")));
        m.removeFavorite(9300); // the shorter array must not bring it back
        written = m.favorites();
    }
    FavoritePortsManager reloaded;
    QCOMPARE(reloaded.favorites(), written);
}

void TestFavorites::settingsWithBrokenEntries()
{
    struct Raw
    {
        QVariant port;
        QString description;
        QVariant status;
    };
    const QList<Raw> raw {
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
            s.setValue(QStringLiteral("port"), raw.at(i).port);
            s.setValue(QStringLiteral("description"), raw.at(i).description);
            s.setValue(QStringLiteral("addedDate"), QDateTime(QDate(2025, 1, 1), QTime(0, 0)));
            if (raw.at(i).status.isValid())
                s.setValue(QStringLiteral("status"), raw.at(i).status);
        }
        s.endArray();
        s.sync();
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

void TestFavorites::exportFormat()
{
    const QDateTime now(QDate(2025, 3, 1), QTime(18, 4, 9));
    FavoritePortsManager m(nullptr, [now] { return now; });
    m.addFavorite(fav(9500, QStringLiteral("Озеро | Старый острог"), 1));
    m.addFavorite(fav(9001, QStringLiteral("две\nстроки"), 2));
    m.addFavorite(fav(9250, QStringLiteral("x"), 0));
    QVERIFY(m.exportToFile(file("fav.txt")));
    QFile f(file("fav.txt"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()),
        QStringLiteral("# Файл избранных портов KESTREL v1.6.3\n"
                       "# Экспортировано: 01.03.2025 18:04:09\n"
                       "# Формат: порт|описание|статус\n"
                       "# Статусы: 0-нормальный, 1-хороший, 2-плохой\n"
                       "# Примечание: допускаются только порты 9000-9999\n"
                       "========================================\n"
                       "9001|две строки|2\n"
                       "9250|x|0\n"
                       "9500|Озеро | Старый острог|1\n"));
    QCOMPARE(ports(m), (QList<quint16> {9500, 9001, 9250})); // the list itself keeps its order
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("Не удалось открыть файл для экспорта")));
    QVERIFY(!m.exportToFile(file("missing/dir/fav.txt")));
}

void TestFavorites::exportImportRoundTrip()
{
    QList<FavoritePort> exported;
    {
        FavoritePortsManager m;
        m.addFavorite(fav(9700, QStringLiteral("семь"), 2));
        m.addFavorite(fav(9100, QStringLiteral("a|b"), 1));
        m.addFavorite(fav(9400, QStringLiteral("ends with a digit|5"), 0));
        QVERIFY(m.exportToFile(file("fav.txt")));
        exported = m.favorites();
        for (const FavoritePort &f : exported)
            m.removeFavorite(f.port);
    }
    const QDateTime now(QDate(2025, 6, 1), QTime(12, 0));
    FavoritePortsManager fresh(nullptr, [now] { return now; });
    QVERIFY(fresh.favorites().isEmpty());
    SignalLog log(&fresh);
    QVERIFY(fresh.importFromFile(file("fav.txt")));
    QCOMPARE(log.entries.last(), QStringLiteral("imported:3"));
    QCOMPARE(ports(fresh), (QList<quint16> {9100, 9400, 9700}));
    for (const FavoritePort &f : exported) {
        const FavoritePort back = fresh.getFavorite(f.port);
        QCOMPARE(back.description, f.description);
        QCOMPARE(back.status, f.status);
        QCOMPARE(back.addedDate, now);
    }
}

void TestFavorites::importLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("stored"); // "port|description|status"
    QTest::addColumn<QStringList>("warnings");

    QTest::newRow("status 7 reads as 0") << QByteArray("9050|Плес|7\n") << true
                                         << QStringList {QStringLiteral("9050|Плес|0")} << QStringList {};
    QTest::newRow("no status part") << QByteArray("9050|Плес\n") << true
                                    << QStringList {QStringLiteral("9050|Плес|0")} << QStringList {};
    QTest::newRow("port only") << QByteArray("9050\n") << false << QStringList {}
                               << QStringList {QStringLiteral("Неверный формат строки 1")};
    QTest::newRow("port 8080") << QByteArray("8080|web|1\n") << false << QStringList {}
                               << QStringList {QStringLiteral("Пропущен порт \"8080\"")};
    QTest::newRow("not a number") << QByteArray("abc|x|1\n") << false << QStringList {}
                                  << QStringList {QStringLiteral("Пропущен порт \"abc\"")};
    QTest::newRow("comments and blanks only")
        << QByteArray("# one\n\n   \n=== two\n") << false << QStringList {} << QStringList {};
    QTest::newRow("pipe inside the description")
        << QByteArray("9100|a|b|1\n9101|a|b\n9102|a|b|\n") << true
        << QStringList {QStringLiteral("9100|a|b|1"), QStringLiteral("9101|a|b|0"),
               QStringLiteral("9102|a|b|0")}
        << QStringList {};
    QTest::newRow("line break left in a file")
        << QByteArray("9200|first\nsecond half|1\n") << true << QStringList {QStringLiteral("9200|first|0")}
        << QStringList {
               QStringLiteral("Пропущен порт \"second half\" \\(разрешены только 9000-9999\\) в строке 2")};
    QTest::newRow("empty description is not an import")
        << QByteArray("9300||1\n") << false << QStringList {} << QStringList {};
    QTest::newRow("BOM, CRLF, spaces") << QByteArray("\xEF\xBB\xBF# c\r\n 9400 | x |2\r\n") << true
                                       << QStringList {QStringLiteral("9400| x |2")} << QStringList {};
}

void TestFavorites::importLines()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, warnings);
    QVERIFY(writeText(file("in.txt"), content));
    FavoritePortsManager m;
    SignalLog log(&m);
    for (const QString &w : warnings)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(w));
    QTEST(m.importFromFile(file("in.txt")), "result");
    QStringList got;
    for (const FavoritePort &f : m.favorites())
        got << QStringLiteral("%1|%2|%3").arg(f.port).arg(f.description).arg(f.status);
    QCOMPARE(got, stored);
    QCOMPARE(log.entries.contains(QStringLiteral("imported:%1").arg(stored.size())), !stored.isEmpty());
}

void TestFavorites::importMergesByPort()
{
    FavoritePortsManager m;
    m.addFavorite(fav(9100, QStringLiteral("old"), 2));
    m.addFavorite(fav(9200, QStringLiteral("untouched"), 1));
    QVERIFY(writeText(file("in.txt"), "9300|new|0\n9100|replaced|1\n"));
    SignalLog log(&m);
    QVERIFY(m.importFromFile(file("in.txt")));
    QCOMPARE(ports(m), (QList<quint16> {9100, 9200, 9300}));
    QCOMPARE(m.getFavorite(9100).description, QStringLiteral("replaced"));
    QCOMPARE(m.getFavorite(9100).status, 1);
    QCOMPARE(m.getFavorite(9200).description, QStringLiteral("untouched"));
    QCOMPARE(log.entries,
        (QStringList {QStringLiteral("added:9300"), QStringLiteral("changed"), QStringLiteral("updated:9100"),
            QStringLiteral("changed"), QStringLiteral("imported:2")}));
}

void TestFavorites::importUnreadableFile()
{
    FavoritePortsManager m;
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("Не удалось открыть файл для импорта")));
    QVERIFY(!m.importFromFile(file("absent.txt")));
    QCOMPARE(m.validateImportFile(file("absent.txt")),
        QStringList {QStringLiteral("Ошибка: Не удалось открыть файл")});
}

void TestFavorites::validation()
{
    QVERIFY(writeText(file("check.txt"),
        "# header\n"
        "9001|a|0\n"
        "no separator\n"
        "9002|b\n"
        "8000|low|1\n"
        "# another comment\n"
        "9003|c|2\n"
        "also none\n"
        "9004|d|1\n"
        "9005|e|0\n"));
    FavoritePortsManager m;
    QCOMPARE(m.validateImportFile(file("check.txt")),
        (QStringList {QStringLiteral("Невалидных строк: 2"), QStringLiteral("Портов вне диапазона: 1"),
            QStringLiteral("Валидных портов (9000-9999): 5"), QStringLiteral("Найдено строк: 10"),
            QStringLiteral("Строка 3: Неверный формат"),
            QStringLiteral("Строка 5: Порт '8000' не входит в диапазон 9000-9999 (пропущен)"),
            QStringLiteral("Строка 8: Неверный формат")}));
    QVERIFY(m.favorites().isEmpty()); // a dry run

    QVERIFY(writeText(file("bad.txt"), "x9|a\n70000|b\n"));
    QCOMPARE(m.validateImportFile(file("bad.txt")),
        (QStringList {QStringLiteral("Невалидных строк: 2"), QStringLiteral("Портов вне диапазона: 0"),
            QStringLiteral("Валидных портов (9000-9999): 0"), QStringLiteral("Найдено строк: 2"),
            QStringLiteral("Строка 1: Неверный порт 'x9'"),
            QStringLiteral("Строка 2: Неверный порт '70000'")}));
}

QTEST_GUILESS_MAIN(TestFavorites)
#include "tst_favorites.moc"
