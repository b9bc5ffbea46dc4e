#include "SymbolIcon.h"

#include <QFile>
#include <QHash>
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
        QFile file(QStringLiteral(":/Quorlane/UI/icons/%1.svg").arg(name));
        found = sources.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    QByteArray text = *found;
    return text.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
}

void SymbolIcon::paint(QPainter *painter)
{
    QSvgRenderer renderer(svg(m_name, m_color));
    if (!renderer.isValid())
        return;
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setOpacity(m_color.alphaF());
    // Keep the drawing's proportions, centred in the item.
    QSizeF size = renderer.viewBoxF().size();
    size.scale(width(), height(), Qt::KeepAspectRatio);
    const QRectF target((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(),
                        size.height());
    renderer.render(painter, target);
}
