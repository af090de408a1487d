#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// One preset row of the firewall manager: name, port list and, when the rule holds
// it or the user picked it, an "АКТИВНО" or "ВЫБРАН" badge. Paints itself.
class RangeItemWidget final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHeight = 60;

    RangeItemWidget(int index, const QString &name, const QString &ports, QWidget *parent = nullptr);

    int index() const { return m_index; }
    QString name() const { return m_name; }
    QString ports() const { return m_ports; }

    bool isActive() const { return m_active; }
    bool isSelected() const { return m_selected; }
    bool isHovered() const { return m_hovered; }
    void setActive(bool active);
    void setSelected(bool selected);

    // What the painter shows: the badge text ("" for none) and the badge rectangle.
    // Active wins over selected.
    QString badgeText() const;
    QColor accentColor() const;
    QRectF badgeRect() const;

signals:
    void clicked(int index);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int m_index;
    QString m_name;
    QString m_ports;
    bool m_active = false;
    bool m_selected = false;
    bool m_hovered = false;
    bool m_pressed = false;
};
