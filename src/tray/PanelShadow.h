#pragma once

#include <QMargins>
#include <QQuickItem>

// The soft shadow under the floating panel, drawn inside its transparent window: one small
// blurred rounded rectangle made once and stretched as a nine-patch, so a frame costs a few
// image copies even with the software renderer, and nothing runs while the panel is hidden.
class PanelShadow : public QQuickItem
{
    Q_OBJECT
public:
    static constexpr int blur = 16;         // how far the shadow reaches beyond the panel
    static constexpr int offsetY = 5;       // light from above: the shadow falls lower
    static constexpr int cornerRadius = 10; // the panel's own corners

    explicit PanelShadow(QQuickItem *parent = nullptr);

    // The room the window needs around the panel for the shadow.
    [[nodiscard]] static QMargins margins();

    // Casts the shadow of `panel` (in the parent item's coordinates).
    void follow(const QRectF &panel);

protected:
    QSGNode *updatePaintNode(QSGNode *node, UpdatePaintNodeData *) override;
};
