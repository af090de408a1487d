#pragma once

#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QString>

class QWidget;

// Pictures of the main window: grab, stamp the watermark, save or copy.
// Failures are reported through screenshotError and a false result.
class Screenshot : public QObject
{
    Q_OBJECT

public:
    explicit Screenshot(QObject *parent = nullptr);

    // Grabs the widget's own rendering (not the screen). kind is kept as given.
    bool captureWindow(QWidget *widget, int kind = 0);
    // A stamped copy: name and version, the date and time, the web site, in the lower right.
    QPixmap addWatermark(const QPixmap &picture) const;

    // Pictures folder, else Desktop, else the program's folder (or, read-only, the user's
    // data folder); plus "/TORVAL_Screenshots".
    static QString screenshotFolder();
    static QString screenshotFolderFrom(
        const QString &pictures, const QString &desktop, const QString &programDir);
    // "TORVAL_yyyy-MM-dd_HH-mm-ss.png" for the current local time.
    static QString screenshotFileName();

    // Saves the last picture. An empty path asks the user (a cancelled dialog is not an error).
    bool saveScreenshot(const QString &path = QString());
    bool copyToClipboard();
    void setWatermarkEnabled(bool enabled) { m_watermarkEnabled = enabled; }

    QPixmap lastScreenshot() const { return m_lastScreenshot; }
    QString lastSavedPath() const { return m_lastSavedPath; }
    int captureKind() const { return m_captureKind; }

    // The name the save dialog's answer is written to: ".png" added when the file name
    // itself has no full stop.
    static QString withDefaultExtension(const QString &fileName);
    // "JPG", "BMP" or "PNG" by the name's ending, in any letter case.
    static const char *formatForFileName(const QString &fileName);
    // The size a picture is shown at in the preview: unchanged up to 450 x 300, else
    // fitted inside it with its aspect ratio kept.
    static QSize previewSize(const QSize &picture);

    static constexpr int kQuality = 90;

signals:
    void screenshotCaptured(const QPixmap &screenshot);
    void screenshotSaved(const QString &filePath);
    void screenshotError(const QString &error);

private:
    QPixmap m_lastScreenshot;
    QString m_lastSavedPath;
    int m_captureKind = 0;
    bool m_watermarkEnabled = true;
};
