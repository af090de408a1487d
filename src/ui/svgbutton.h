#pragma once

#include <QPushButton>
#include <QSvgRenderer>

// A push button that paints only its SVG icon (no bevel); the style sheet draws the frame.
class SvgButton : public QPushButton
{
    Q_OBJECT

public:
    explicit SvgButton(const QByteArray &svg, QWidget *parent = nullptr);

    // Replaces the icon (the favourite star changes with the port's state).
    void setSvg(const QByteArray &svg);
    bool hasValidSvg() const { return m_renderer.isValid(); }

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QSvgRenderer m_renderer;
};
