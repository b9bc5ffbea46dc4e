#include "panel/SymbolIcon.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QSvgRenderer>

SymbolIcon::SymbolIcon(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void SymbolIcon::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    Q_EMIT nameChanged();
    update();
}

void SymbolIcon::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    Q_EMIT colorChanged();
    update();
}

QByteArray SymbolIcon::svg(const QString &name, const QColor &color)
{
    // The drawings use "currentColor" for every painted part; a handful of names, read once.
    static QHash<QString, QByteArray> sources;
    auto found = sources.find(name);
    if (found == sources.end()) {
        QFile file(QStringLiteral(":/Quorlane/Panel/icons/%1.svg").arg(name));
        found = sources.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    QByteArray text = *found;
    return text.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
}

QImage SymbolIcon::raster(const QString &name, const QColor &color, QSizeF size, qreal ratio)
{
    // A panel shows the same few symbols many times: each is drawn from its SVG once per colour,
    // size and pixel ratio. Painting may happen on a render thread, one per window.
    static QMutex mutex;
    static QHash<QString, QImage> drawn;
    const QColor opaque = color.toRgb();
    const QString key = QStringLiteral("%1|%2|%3x%4@%5")
                            .arg(name, opaque.name(QColor::HexRgb))
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ratio);
    const QMutexLocker locker(&mutex);
    if (const auto found = drawn.constFind(key); found != drawn.cend())
        return *found;
    QImage image;
    QSvgRenderer renderer(svg(name, opaque));
    const QSize pixels = (size * ratio).toSize();
    if (renderer.isValid() && !pixels.isEmpty()) {
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        // Keep the drawing's proportions, centred in the item.
        QSizeF fitted = renderer.viewBoxF().size();
        fitted.scale(size, Qt::KeepAspectRatio);
        renderer.render(&painter,
                        QRectF((size.width() - fitted.width()) / 2, (size.height() - fitted.height()) / 2,
                               fitted.width(), fitted.height()));
    }
    drawn.insert(key, image);
    return image;
}

void SymbolIcon::paint(QPainter *painter)
{
    const QImage image =
        raster(m_name, m_color, QSizeF(width(), height()), painter->device()->devicePixelRatioF());
    if (image.isNull())
        return;
    painter->setOpacity(m_color.alphaF());
    painter->drawImage(QRectF(0, 0, width(), height()), image);
}
