#include "overlay/screenshot.h"
#include "overlay/screenshotpreviewdialog.h"
#include "ui/filedialog.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QImageReader>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A plain white window to take pictures of.
class Canvas : public QWidget
{
public:
    Canvas()
    {
        setFixedSize(400, 300);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
    }
};

int brightness(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y));
}

} // namespace

class TestScreenshot : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QPixmap capture(Screenshot &shot, bool watermark = true)
    {
        auto *canvas = new Canvas;
        canvas->show();
        shot.setWatermarkEnabled(watermark);
        const bool ok = shot.captureWindow(canvas);
        delete canvas;
        return ok ? shot.lastScreenshot() : QPixmap();
    }

private slots:
    void init()
    {
        FileDialog::clearNextFileNames();
        QGuiApplication::clipboard()->clear();
    }

    void captureNeedsVisibleWindow()
    {
        Screenshot shot;
        QSignalSpy errors(&shot, &Screenshot::screenshotError);
        QSignalSpy captured(&shot, &Screenshot::screenshotCaptured);
        Canvas hidden;
        QVERIFY(!shot.captureWindow(&hidden));
        QVERIFY(!shot.captureWindow(nullptr));
        QCOMPARE(errors.count(), 2);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Окно не видимо или не существует"));
        QCOMPARE(captured.count(), 0);

        hidden.show();
        QVERIFY(shot.captureWindow(&hidden, 0));
        QCOMPARE(captured.count(), 1);
        QCOMPARE(captured.at(0).at(0).value<QPixmap>().deviceIndependentSize().toSize(), QSize(400, 300));
    }

    void watermarkInLowerRightCorner()
    {
        Screenshot shot;
        const QImage plain = capture(shot, false).toImage();
        QVERIFY(!plain.isNull());
        const QImage stamped = capture(shot, true).toImage();
        const qreal dpr = stamped.devicePixelRatio();
        auto px = [dpr](int v) { return int(v * dpr); };

        // The box: 60 px high from 70 px above the bottom, ending 10 px left of the right edge.
        QCOMPARE(brightness(plain, px(380), px(250)), 255);
        QVERIFY(brightness(stamped, px(385), px(236)) < 120);
        QVERIFY(brightness(stamped, px(300), px(285)) < 120);
        // Outside it nothing changed.
        QCOMPARE(stamped.pixel(px(5), px(5)), plain.pixel(px(5), px(5)));
        QCOMPARE(stamped.pixel(px(395), px(295)), plain.pixel(px(395), px(295)));
        QCOMPARE(stamped.pixel(px(385), px(225)), plain.pixel(px(385), px(225)));
        // Some white text was written into the box.
        bool text = false;
        for (int x = px(250); x < px(385) && !text; ++x)
            for (int y = px(235); y < px(285) && !text; ++y)
                text = brightness(stamped, x, y) > 200;
        QVERIFY(text);
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("savedAs");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("no extension")
            << QStringLiteral("shot") << QStringLiteral("shot.png") << QByteArray("png");
        QTest::newRow("upper-case JPEG")
            << QStringLiteral("shot.JPEG") << QStringLiteral("shot.JPEG") << QByteArray("jpeg");
        QTest::newRow("jpg") << QStringLiteral("a.jpg") << QStringLiteral("a.jpg") << QByteArray("jpeg");
        QTest::newRow("bmp") << QStringLiteral("b.Bmp") << QStringLiteral("b.Bmp") << QByteArray("bmp");
        QTest::newRow("unknown ending is png")
            << QStringLiteral("c.img") << QStringLiteral("c.img") << QByteArray("png");
        QTest::newRow("dot only in folder")
            << QStringLiteral("dir.v2/shot") << QStringLiteral("dir.v2/shot.png") << QByteArray("png");
    }

    void fileNames()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, savedAs);
        QFETCH(QByteArray, format);
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("dir.v2")));

        Screenshot shot;
        const QPixmap picture = capture(shot);
        QSignalSpy saved(&shot, &Screenshot::screenshotSaved);
        FileDialog::setNextFileName(m_dir.filePath(chosen));
        QVERIFY(shot.saveScreenshot());
        const QString path = m_dir.filePath(savedAs);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(saved.at(0).at(0).toString(), path);
        QCOMPARE(shot.lastSavedPath(), path);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QImageReader reader(&file);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), format);
        file.seek(0);
        const QByteArray bytes = file.readAll();
        if (format == "jpeg") {
            // Quality 90: the very bytes a quality-90 encoder gives for this picture.
            QByteArray expected;
            QBuffer buffer(&expected);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(picture.save(&buffer, "JPG", 90));
            QCOMPARE(bytes, expected);
        }
        QVERIFY(QFile::remove(path));
    }

    void saveDialogProposal()
    {
        Screenshot shot;
        capture(shot);
        FileDialog::resetRecord();
        FileDialog::setNextFileName(QString()); // cancelled
        QSignalSpy errors(&shot, &Screenshot::screenshotError);
        QSignalSpy saved(&shot, &Screenshot::screenshotSaved);
        QVERIFY(!shot.saveScreenshot());
        QCOMPARE(errors.count(), 0);
        QCOMPARE(saved.count(), 0);

        const FileDialog::Record shown = FileDialog::lastShown();
        QCOMPARE(shown.caption, QStringLiteral("Сохранить скриншот"));
        QCOMPARE(shown.filter, QStringLiteral("Изображения (*.png *.jpg *.bmp);;Все файлы (*.*)"));
        QVERIFY(shown.directory.startsWith(Screenshot::screenshotFolder() + QStringLiteral("/TORVAL_")));
        QVERIFY(QRegularExpression(QStringLiteral("TORVAL_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.png$"))
                    .match(shown.directory)
                    .hasMatch());
        QVERIFY(QFileInfo(Screenshot::screenshotFolder()).isDir());
    }

    void saveFailures()
    {
        Screenshot shot;
        QSignalSpy errors(&shot, &Screenshot::screenshotError);
        QVERIFY(!shot.saveScreenshot(m_dir.filePath(QStringLiteral("x.png"))));
        QCOMPARE(errors.last().at(0).toString(), QStringLiteral("Нет скриншота для сохранения"));

        capture(shot);
        const QString bad = m_dir.filePath(QStringLiteral("missing/folder/x.png"));
        QVERIFY(!shot.saveScreenshot(bad));
        QCOMPARE(errors.last().at(0).toString(), QStringLiteral("Не удалось сохранить файл: %1").arg(bad));
        QVERIFY(shot.lastSavedPath().isEmpty());
    }

    void folder_data()
    {
        QTest::addColumn<QString>("pictures");
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("expected");
        QTest::newRow("pictures") << "/home/u/Pictures"
                                  << "/home/u/Desktop"
                                  << "/home/u/Pictures/TORVAL_Screenshots";
        QTest::newRow("desktop") << ""
                                 << "/home/u/Desktop"
                                 << "/home/u/Desktop/TORVAL_Screenshots";
        QTest::newRow("program folder") << ""
                                        << ""
                                        << "/opt/kestrel/TORVAL_Screenshots";
    }

    void folder()
    {
        QFETCH(QString, pictures);
        QFETCH(QString, desktop);
        QFETCH(QString, expected);
        QCOMPARE(
            Screenshot::screenshotFolderFrom(pictures, desktop, QStringLiteral("/opt/kestrel")), expected);
    }

    void clipboard()
    {
        Screenshot shot;
        QVERIFY(!shot.copyToClipboard());
        QVERIFY(QGuiApplication::clipboard()->image().isNull());
        const QPixmap picture = capture(shot);
        QVERIFY(shot.copyToClipboard());
        QCOMPARE(QGuiApplication::clipboard()->image().size(), picture.size());
    }

    void previewScaling_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("fits") << QSize(400, 300) << QSize(400, 300);
        QTest::newRow("wide") << QSize(1000, 600) << QSize(450, 270);
        QTest::newRow("tall") << QSize(300, 600) << QSize(150, 300);
        QTest::newRow("main window") << QSize(820, 520) << QSize(450, 285);
        QTest::newRow("exact limit") << QSize(450, 300) << QSize(450, 300);
    }

    void previewScaling()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, shown);
        QPixmap pixmap(picture);
        pixmap.fill(Qt::red);
        Screenshot shot;
        ScreenshotPreviewDialog dialog(&shot, pixmap);
        QCOMPARE(dialog.shownPicture().size(), shown);
        QCOMPARE(dialog.size(), QSize(500, 450));
    }

    void previewButtons()
    {
        Screenshot shot;
        const QPixmap picture = capture(shot);

        {
            // A cancelled save keeps the preview open.
            ScreenshotPreviewDialog dialog(&shot, picture);
            dialog.show();
            FileDialog::setNextFileName(QString());
            dialog.saveButton()->click();
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));

            const QString path = m_dir.filePath(QStringLiteral("preview"));
            FileDialog::setNextFileName(path);
            dialog.saveButton()->click();
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(QFile::exists(path + QStringLiteral(".png")));
        }
        {
            ScreenshotPreviewDialog dialog(&shot, picture);
            dialog.show();
            QSignalSpy copied(&dialog, &ScreenshotPreviewDialog::copied);
            dialog.copyButton()->click();
            QCOMPARE(copied.count(), 1);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(!QGuiApplication::clipboard()->image().isNull());
        }
        {
            // Nothing captured: copying fails and the preview stays.
            Screenshot empty;
            ScreenshotPreviewDialog dialog(&empty, picture);
            dialog.show();
            QSignalSpy copied(&dialog, &ScreenshotPreviewDialog::copied);
            dialog.copyButton()->click();
            QCOMPARE(copied.count(), 0);
            QVERIFY(dialog.isVisible());
        }
    }
};

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
