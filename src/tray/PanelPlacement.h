#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

// Where the floating panel goes, worked out from rectangles alone so every desktop layout can be
// checked without a display. The window code only applies the result.
namespace PanelPlacement {

inline constexpr int gap = 4;    // between the tray icon (or its panel strip) and the panel
inline constexpr int margin = 8; // to the edges of a screen's available area
inline constexpr int minimumHeight = 80;
inline constexpr int resizeThreshold = 2; // height changes up to this are not worth a resize
// A cursor this close to an available-area edge (or inside a reserved strip) is taken to be on
// a tray icon whose rectangle the tray did not report.
inline constexpr int cursorEdgeDistance = 48;

// The screen edge the tray sits on; the panel opens away from it.
enum class Edge
{
    top,
    bottom,
    left,
    right
};

// Where a desktop puts its tray when nothing better is known (GNOME's top bar: top right).
enum class TrayCorner
{
    topLeft,
    topRight,
    bottomLeft,
    bottomRight
};

struct Screen
{
    QRect geometry;
    QRect available; // geometry minus the strips panels reserve
    bool operator==(const Screen &) const = default;
};

struct Input
{
    std::optional<QRect> icon; // known only with an XEmbed tray
    QPoint cursor;
    QList<Screen> screens; // the first is the primary screen
    QSize size;
    TrayCorner corner = TrayCorner::bottomRight;
};

struct Placement
{
    QRect frame;
    Edge edge = Edge::top; // the side the panel's fixed edge faces
    QRect available;       // the area the panel was kept inside
    bool operator==(const Placement &) const = default;
};

// Centred on the icon, `gap` away from it, at least `margin` inside the available area, on the
// side away from the tray. Without an icon rectangle: the cursor when it lies near an
// available-area edge, else the desktop's tray corner of the primary screen. nullopt when
// there is no screen.
[[nodiscard]] std::optional<Placement> place(const Input &input);

// The frame for a new height, keeping the edge next to the tray where it is.
[[nodiscard]] QRect resized(const Placement &placement, int height);

// Whether going from `current` to `next` is a height change worth animating.
[[nodiscard]] bool isSignificantChange(int current, int next);

// The tray corner of the running desktop, from XDG_CURRENT_DESKTOP's value.
[[nodiscard]] TrayCorner trayCornerOf(const QString &currentDesktop);

} // namespace PanelPlacement
