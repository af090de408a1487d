#pragma once

#include "ui/movabledialog.h"

#include <QPixmap>

class QLabel;
class QPushButton;
class Screenshot;

// Shows a captured picture and offers "СОХРАНИТЬ" (save dialog) and "КОПИРОВАТЬ"
// (clipboard). Either success closes the preview; a cancelled or failed save keeps it open.
class ScreenshotPreviewDialog : public MovableDialog
{
    Q_OBJECT

public:
    ScreenshotPreviewDialog(Screenshot *screenshot, const QPixmap &picture, QWidget *parent = nullptr);

signals:
    // The picture is on the clipboard (the main window says "Скриншот скопирован").
    void copied();

private:
    void onSaveClicked();
    void onCopyClicked();

    Screenshot *m_screenshot;
    QPixmap m_shownPicture;
    QLabel *m_pictureLabel = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_copyButton = nullptr;
};
