#include "updater/programcheck.h"
#include "updater/updaterprotocol.h"

#include <QtTest>

using namespace UpdaterProtocol;

class TestUpdaterProtocol : public QObject
{
    Q_OBJECT

private slots:
    void releaseTagAgainstCurrentVersion_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("current");
        QTest::addColumn<bool>("offered");
        // clang-format off
        QTest::newRow("v1.6.4 vs 1.6.3") << "v1.6.4" << "1.6.3" << true;
        QTest::newRow("V2.0 has two parts") << "V2.0" << "1.6.3" << false;
        QTest::newRow("1.6.3-beta") << "1.6.3-beta" << "1.6.2" << false;
        QTest::newRow("vivid-1.7.0") << "vivid-1.7.0" << "0.0.1" << false;
        QTest::newRow("fourth part ignored") << "v1.7.0.9" << "1.6.3" << true;
        QTest::newRow("minor before patch") << "v1.7.0" << "1.6.99" << true;
        // clang-format on
    }

    void releaseTagAgainstCurrentVersion()
    {
        QFETCH(QString, tag);
        QFETCH(QString, current);
        QFETCH(bool, offered);
        QCOMPARE(versionCode(current) < versionCode(versionFromTag(tag)), offered);
    }

    void checkOutput_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("fields"); // "version|address|digest|change log"; empty: invalid
        // clang-format off
        QTest::newRow("three-line body keeps the first line")
            << "VERSION:1.7.0\nURL:https://h/a.exe\nDIGEST:sha256:ab\nCHANGELOG:first line\nsecond\nthird"
            << "1.7.0|https://h/a.exe|sha256:ab|first line";
        QTest::newRow("notes cannot set fields")
            << "VERSION:1.7.0\nURL:https://h/a.exe\nCHANGELOG:x\nURL:http://127.0.0.1:1/evil\nVERSION:9.9.9\nDIGEST:e"
            << "1.7.0|https://h/a.exe||x";
        QTest::newRow("first of each field counts") << "VERSION:1.7.0\nVERSION:9.9.9\nURL:https://h/a\nURL:https://e/x"
            << "1.7.0|https://h/a||";
        QTest::newRow("url only in the notes") << "VERSION:1.7.0\nCHANGELOG:x\nURL:https://h/a.exe" << "";
        QTest::newRow("missing version") << "URL:https://h/a.exe\nCHANGELOG:x" << "";
        // clang-format on
    }

    void checkOutput()
    {
        QFETCH(QString, output);
        QFETCH(QString, fields);
        const CheckOutput result = parseCheckOutput(output);
        QCOMPARE(result.kind, fields.isEmpty() ? CheckOutput::Invalid : CheckOutput::Release);
        if (!fields.isEmpty())
            QCOMPARE(QStringList({result.version, result.url, result.digest, result.changelog}).join(u'|'),
                fields);
    }

    // The version names a file next to the program; the address is handed to a downloader.
    void hostileReleaseDataRefused()
    {
        QVERIFY(isSafeVersion(QStringLiteral("1.7.0-rc_2")));
        for (const char *version : {"../../x", "1.7\\..\\0", "C:1.7", "1.7'0", ""})
            QVERIFY2(!isSafeVersion(QString::fromUtf8(version)), version);
        for (const char *url : {"https://h/a", "http://127.0.0.1:8080/a", "http://127.1.2.3/a",
                 "http://[::1]:8/a", "http://LocalHost:1/a"})
            QVERIFY2(isAcceptableDownloadUrl(QString::fromUtf8(url)), url);
        for (const char *url : {"http://example.com/a", "http://127.0.0.1.example.com/a",
                 "http://localhost.evil/a", "http://10.0.0.1/a", "file:///etc/passwd",
                 "\\\\server\\share\\x.exe", "https:///x", "ftp://h/x"})
            QVERIFY2(!isAcceptableDownloadUrl(QString::fromUtf8(url)), url);
        QVERIFY(isSupportedDigest(QStringLiteral("sha256:") + QString(64, u'A')));
        for (const QString &digest :
            QStringList {QStringLiteral("sha256:") + QString(63, u'a'),
                QStringLiteral("sha512:") + QString(64, u'a'), QStringLiteral("sha256:") + QString(64, u'g')})
            QVERIFY2(!isSupportedDigest(digest), qPrintable(digest));
    }

    // Leading bytes of files, against the check for an x86-64 ELF program and an AMD64 PE program.
    void programFormat_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("pe");
        QTest::addColumn<QString>("problem"); // its start; empty: a program
        const QByteArray elf = QByteArray::fromHex("7f454c460201").leftJustified(64, '\0');
        const auto patched = [](QByteArray bytes, int at, quint16 value) {
            qToLittleEndian(value, bytes.data() + at);
            return bytes;
        };
        const QByteArray elfProgram = patched(patched(elf, 16, 3), 18, ProgramCheck::kElfX86_64);
        const QByteArray pe
            = QByteArray(QByteArray("MZ").leftJustified(0x80, '\0') + "PE").leftJustified(0x200, '\0');
        const QByteArray peProgram
            = patched(patched(patched(pe, 0x3C, 0x80), 0x84, ProgramCheck::kPeAmd64), 0x96, 0x22);
        // clang-format off
        QTest::newRow("ELF program") << elfProgram << false << "";
        QTest::newRow("ELF object file") << patched(elfProgram, 16, 1) << false << "ELF file of type 1";
        QTest::newRow("32-bit ELF") << QByteArray(elfProgram).replace(4, 1, "\x01") << false << "not a 64-bit";
        QTest::newRow("truncated ELF") << elfProgram.left(40) << false << "truncated";
        QTest::newRow("PE program") << peProgram << true << "";
        QTest::newRow("PE for i386") << patched(peProgram, 0x84, 0x14c) << true << "PE program for machine 0x14c";
        QTest::newRow("PE library") << patched(peProgram, 0x96, 0x2022) << true << "PE file is not a program";
        QTest::newRow("MZ without PE") << patched(peProgram, 0x3C, 0x1F0) << true << "no PE header";
        // clang-format on
    }

    void programFormat()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, pe);
        QFETCH(QString, problem);
        const QString found = pe ? ProgramCheck::peProblem(head, ProgramCheck::kPeAmd64)
                                 : ProgramCheck::elfProblem(head, ProgramCheck::kElfX86_64);
        QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.startsWith(problem), qPrintable(found));
    }

    void scriptsCarryQuotedData()
    {
        QCOMPARE(powerShellQuote(QStringLiteral("https://h/a'; Remove-Item C:\\ #")),
            QStringLiteral("'https://h/a''; Remove-Item C:\\ #'"));
        QCOMPARE(powerShellQuote(QStringLiteral("\u2018$env:x `n\u201B")),
            QStringLiteral("'\u2018\u2018$env:x `n\u201B\u201B'"));
        const QString check = checkScript(QStringLiteral("https://api.example/repos/o'x/r/releases"));
        // One substitution pass: "%1"/"%2" inside the address stay as they are.
        const QString download
            = downloadScript(QStringLiteral("https://h/%2'%1.exe"), QStringLiteral("C:\\%1.exe"));
        QVERIFY(
            download.contains(QLatin1String("$url = 'https://h/%2''%1.exe'\n    $output = 'C:\\%1.exe'\n")));
        // Windows PowerShell drops double quotes from its command line.
        QVERIFY(!check.contains(QLatin1Char('"')) && !download.contains(QLatin1Char('"')));
    }
};

QTEST_GUILESS_MAIN(TestUpdaterProtocol)
#include "tst_updaterprotocol.moc"
