#pragma once

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

// One of the panel's symbols ("lock.fill", "chevron.up", …), drawn from the SVG of that name in
// the binary's resources, in `color`, at the item's size. Painted as vectors at the window's
// pixel ratio, so it stays crisp on HiDPI screens.
class SymbolIcon : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit SymbolIcon(QQuickItem *parent = nullptr);

    [[nodiscard]] const QString &name() const { return m_name; }
    void setName(const QString &name);
    [[nodiscard]] const QColor &color() const { return m_color; }
    void setColor(const QColor &color);

    void paint(QPainter *painter) override;

    // The SVG text of `name` with its colour filled in; empty for an unknown name.
    [[nodiscard]] static QByteArray svg(const QString &name, const QColor &color);

    // `name` in `color` (its alpha ignored) at `size` and `ratio` device pixels per point.
    [[nodiscard]] static QImage raster(const QString &name, const QColor &color, QSizeF size, qreal ratio);

Q_SIGNALS:
    void nameChanged();
    void colorChanged();

private:
    QString m_name;
    QColor m_color = Qt::white;
};
