#pragma once

#include <QLabel>
#include <QPixmap>

// A label that lays out and draws its text once and then only copies the picture.
// For fixed captions over an animated background: they are repainted with it many
// times a second, and text shaping (colour emoji above all) dominates that cost.
class CachedLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit CachedLabel(const QString &text, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QPixmap m_picture;
    QString m_pictureText;
};
