#include "tray/PanelPlacement.h"

#include <QString>

#include <algorithm>
#include <cstdlib>

namespace PanelPlacement {
namespace {

// Exclusive right and bottom: QRect's own are one less, which is easy to get wrong in sums.
int rightOf(const QRect &r)
{
    return r.x() + r.width();
}
int bottomOf(const QRect &r)
{
    return r.y() + r.height();
}

// The screen holding `point`, else the one nearest to it.
const Screen *screenAt(const QList<Screen> &screens, QPoint point)
{
    const Screen *best = nullptr;
    qint64 bestDistance = 0;
    for (const Screen &screen : screens) {
        const QRect &g = screen.geometry;
        const qint64 dx = std::max({g.x() - point.x(), point.x() - (rightOf(g) - 1), 0});
        const qint64 dy = std::max({g.y() - point.y(), point.y() - (bottomOf(g) - 1), 0});
        const qint64 distance = dx * dx + dy * dy;
        if (!best || distance < bestDistance) {
            best = &screen;
            bestDistance = distance;
        }
    }
    return best;
}

int strip(const Screen &s, Edge edge)
{
    switch (edge) {
    case Edge::top:
        return s.available.y() - s.geometry.y();
    case Edge::bottom:
        return bottomOf(s.geometry) - bottomOf(s.available);
    case Edge::left:
        return s.available.x() - s.geometry.x();
    case Edge::right:
        return rightOf(s.geometry) - rightOf(s.available);
    }
    return 0;
}

// The tray's edge for an icon: the reserved strip it sits in, or with no strip (an auto-hiding
// panel reserves none) the screen edge nearest to it.
Edge edgeOfIcon(const QRect &icon, const Screen &s)
{
    const int cx = icon.x() + icon.width() / 2;
    const int cy = icon.y() + icon.height() / 2;
    const QRect &a = s.available;
    if (cy < a.y())
        return Edge::top;
    if (cy >= bottomOf(a))
        return Edge::bottom;
    if (cx < a.x())
        return Edge::left;
    if (cx >= rightOf(a))
        return Edge::right;
    const QRect &g = s.geometry;
    const int distances[] = {cy - g.y(), bottomOf(g) - 1 - cy, cx - g.x(), rightOf(g) - 1 - cx};
    return Edge(std::min_element(std::begin(distances), std::end(distances)) - std::begin(distances));
}

// Lays the panel next to `anchor` on the far side from `edge`, centred across. The panel clears
// the whole reserved strip even where the anchor (an icon, a cursor) ends inside it.
Placement besides(const QRect &anchor, Edge edge, const QRect &a, QSize size)
{
    const int w = size.width();
    const int h = size.height();
    const auto across = [](int start, int length, int extent, int lo, int hi) {
        const int centred = start + length / 2 - extent / 2;
        return std::max(lo + margin, std::min(centred, hi - margin - extent));
    };
    QRect frame;
    switch (edge) {
    case Edge::top:
    case Edge::bottom: {
        const int x = across(anchor.x(), anchor.width(), w, a.x(), rightOf(a));
        const int y = edge == Edge::top ? std::max(bottomOf(anchor), a.y()) + gap
                                        : std::min(anchor.y(), bottomOf(a)) - gap - h;
        frame = QRect(x, y, w, h);
        break;
    }
    case Edge::left:
    case Edge::right: {
        const int y = across(anchor.y(), anchor.height(), h, a.y(), bottomOf(a));
        const int x = edge == Edge::left ? std::max(rightOf(anchor), a.x()) + gap
                                         : std::min(anchor.x(), rightOf(a)) - gap - w;
        frame = QRect(x, y, w, h);
        break;
    }
    }
    return Placement{frame, edge, a};
}

// A cursor near an available-area edge (or inside a strip) stands on a tray icon.
std::optional<Placement> nearCursor(const Input &input)
{
    const Screen *s = screenAt(input.screens, input.cursor);
    if (!s || !s->geometry.contains(input.cursor))
        return std::nullopt;
    const QRect &a = s->available;
    const QRect &g = s->geometry;
    const QPoint c = input.cursor;
    const int distances[] = {c.y() - a.y(), bottomOf(a) - 1 - c.y(), c.x() - a.x(), rightOf(a) - 1 - c.x()};
    const auto nearest = std::min_element(std::begin(distances), std::end(distances));
    if (*nearest > cursorEdgeDistance)
        return std::nullopt; // a stale position, far from any tray
    const Edge edge = Edge(nearest - std::begin(distances));
    // The cursor stands for an icon of unknown size: the anchor runs from the screen edge to it.
    QRect anchor;
    switch (edge) {
    case Edge::top:
        anchor = QRect(c.x(), g.y(), 0, c.y() + 1 - g.y());
        break;
    case Edge::bottom:
        anchor = QRect(c.x(), c.y(), 0, bottomOf(g) - c.y());
        break;
    case Edge::left:
        anchor = QRect(g.x(), c.y(), c.x() + 1 - g.x(), 0);
        break;
    case Edge::right:
        anchor = QRect(c.x(), c.y(), rightOf(g) - c.x(), 0);
        break;
    }
    return besides(anchor, edge, a, input.size);
}

// The corner of the primary screen where the desktop keeps its tray; when the panel strip sits
// on a side instead of the corner's top or bottom, that side.
Placement atCorner(const Screen &s, TrayCorner corner, QSize size)
{
    const bool top = corner == TrayCorner::topLeft || corner == TrayCorner::topRight;
    const bool left = corner == TrayCorner::topLeft || corner == TrayCorner::bottomLeft;
    Edge edge = top ? Edge::top : Edge::bottom;
    if (strip(s, edge) <= 0 && strip(s, Edge::left) > 0)
        edge = Edge::left;
    else if (strip(s, edge) <= 0 && strip(s, Edge::right) > 0)
        edge = Edge::right;
    const QRect &a = s.available;
    const QRect &g = s.geometry;
    // A point on the screen edge: the panel then clears whatever strip lies along it.
    const int x = edge == Edge::left ? g.x() : edge == Edge::right ? rightOf(g) : left ? a.x() : rightOf(a);
    const int y = edge == Edge::top ? g.y() : edge == Edge::bottom ? bottomOf(g) : top ? a.y() : bottomOf(a);
    return besides(QRect(x, y, 0, 0), edge, a, size);
}

} // namespace

std::optional<Placement> place(const Input &input)
{
    if (input.screens.isEmpty())
        return std::nullopt;
    if (input.icon && !input.icon->isEmpty()) {
        const QRect &icon = *input.icon;
        const Screen *s = screenAt(input.screens, icon.center());
        return besides(icon, edgeOfIcon(icon, *s), s->available, input.size);
    }
    if (auto placement = nearCursor(input))
        return placement;
    return atCorner(input.screens.first(), input.corner, input.size);
}

QRect resized(const Placement &placement, int height)
{
    const QRect &f = placement.frame;
    const QRect &a = placement.available;
    switch (placement.edge) {
    case Edge::top:
        return QRect(f.x(), f.y(), f.width(), height);
    case Edge::bottom:
        return QRect(f.x(), bottomOf(f) - height, f.width(), height);
    case Edge::left:
    case Edge::right: {
        // The side next to the tray does not move with the height; the top stays unless the
        // panel would run past the bottom of the available area.
        const int y = std::max(a.y() + margin, std::min(f.y(), bottomOf(a) - margin - height));
        return QRect(f.x(), y, f.width(), height);
    }
    }
    return f;
}

bool isSignificantChange(int current, int next)
{
    return std::abs(next - current) > resizeThreshold;
}

TrayCorner trayCornerOf(const QString &currentDesktop)
{
    // Desktops whose default panel, and with it the tray, runs along the top of the screen.
    static const char *const topBars[] = {"GNOME", "Unity", "Pantheon", "XFCE", "MATE", "Budgie"};
    for (const QString &name : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        for (const char *top : topBars) {
            if (name.compare(QLatin1String(top), Qt::CaseInsensitive) == 0)
                return TrayCorner::topRight;
        }
    }
    return TrayCorner::bottomRight;
}

} // namespace PanelPlacement
