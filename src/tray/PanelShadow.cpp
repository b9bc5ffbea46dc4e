#include "tray/PanelShadow.h"

#include <QImage>
#include <QPainter>
#include <QQuickWindow>
#include <QSGNinePatchNode>

#include <vector>

namespace {

constexpr int padding = PanelShadow::blur + PanelShadow::cornerRadius; // the nine-patch's fixed borders
constexpr int boxRadius = 5;      // three box passes of this radius reach about `blur`
constexpr double strength = 0.45; // alpha right under the panel's edge

// One pass of a box blur along rows (`step` 1) or columns (`step` = side) of a square alpha map.
void boxPass(std::vector<float> &alpha, int side, int step, int across)
{
    std::vector<float> line(side);
    for (int i = 0; i < side; ++i) {
        const int start = i * across;
        for (int j = 0; j < side; ++j) {
            float sum = 0;
            for (int k = j - boxRadius; k <= j + boxRadius; ++k)
                sum += (k >= 0 && k < side) ? alpha[start + k * step] : 0.0f;
            line[j] = sum / float(2 * boxRadius + 1);
        }
        for (int j = 0; j < side; ++j)
            alpha[start + j * step] = line[j];
    }
}

// The shadow of a panel just big enough to have its four corners and one pixel between them.
QImage shadowImage()
{
    const int side = 2 * padding + 1;
    QImage shape(side, side, QImage::Format_Alpha8);
    shape.fill(0);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        const int core = 2 * PanelShadow::cornerRadius + 1;
        painter.drawRoundedRect(QRectF(PanelShadow::blur, PanelShadow::blur, core, core),
                                PanelShadow::cornerRadius, PanelShadow::cornerRadius);
    }
    std::vector<float> alpha(std::size_t(side) * side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            alpha[std::size_t(y) * side + x] = shape.constScanLine(y)[x] / 255.0f;
    }
    for (int pass = 0; pass < 3; ++pass) {
        boxPass(alpha, side, 1, side); // rows
        boxPass(alpha, side, side, 1); // columns
    }
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < side; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = qPremultiply(
                qRgba(0, 0, 0, int(alpha[std::size_t(y) * side + x] * strength * 255.0f + 0.5f)));
    }
    return image;
}

} // namespace

PanelShadow::PanelShadow(QQuickItem *parent) : QQuickItem(parent)
{
    setFlag(ItemHasContents);
    setZ(-1);
}

QMargins PanelShadow::margins()
{
    return {blur, blur - offsetY, blur, blur + offsetY};
}

void PanelShadow::follow(const QRectF &panel)
{
    const QRectF shadow = panel.adjusted(-blur, -blur, blur, blur).translated(0, offsetY);
    setPosition(shadow.topLeft());
    setSize(shadow.size());
}

QSGNode *PanelShadow::updatePaintNode(QSGNode *node, UpdatePaintNodeData *)
{
    auto *patch = static_cast<QSGNinePatchNode *>(node);
    if (!patch) {
        static const QImage image = shadowImage();
        patch = window()->createNinePatchNode();
        patch->setTexture(window()->createTextureFromImage(image)); // the node owns the texture
        patch->setPadding(padding, padding, padding, padding);
        patch->setDevicePixelRatio(1.0);
    }
    patch->setBounds(boundingRect());
    patch->update();
    return patch;
}
