#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

#include <optional>

// Geometry of the frameless frame's resize zones, kept free of widgets so the
// rules can be checked without a mouse. All rectangles and points are in
// screen coordinates; a rectangle's right and bottom are inclusive
// (right + 1 = left + width), as QRect keeps them.

// Width of the resize zone along every edge of the window, in pixels.
constexpr int kFrameBorder = 15;

enum class FrameZone { None, TopLeft, TopRight, BottomLeft, BottomRight, Top, Left, Right, Bottom };

// Which edges a resize moves; a corner sets two.
struct ResizeEdges {
    bool top = false;
    bool left = false;
    bool right = false;
    bool bottom = false;

    bool any() const { return top || left || right || bottom; }
    bool operator==(const ResizeEdges &other) const
    {
        return top == other.top && left == other.left && right == other.right &&
               bottom == other.bottom;
    }
};

// Edge hit tests: true when the point lies within `border` pixels of that edge,
// both bounds included (left: left <= x <= left + border; right:
// right + 1 - border <= x <= right + 1; top and bottom likewise in y). Only the
// one coordinate is looked at.
bool leftEdgeHit(const QRect &geometry, const QPoint &screenPos, int border = kFrameBorder);
bool rightEdgeHit(const QRect &geometry, const QPoint &screenPos, int border = kFrameBorder);
bool topEdgeHit(const QRect &geometry, const QPoint &screenPos, int border = kFrameBorder);
bool bottomEdgeHit(const QRect &geometry, const QPoint &screenPos, int border = kFrameBorder);

// The zone of a point, corners first, then top, left, right, bottom; None when
// no edge is hit.
FrameZone frameZoneAt(const QRect &geometry, const QPoint &screenPos, int border = kFrameBorder);

// The cursor shown over a zone: diagonal arrows on the corners, vertical or
// horizontal arrows on the edges, the plain arrow elsewhere.
Qt::CursorShape cursorForZone(FrameZone zone);

ResizeEdges edgesForZone(FrameZone zone);

// The window's new geometry when the pointer is at `pointer` during a resize
// that started with the window at `pressGeometry`. The moving edges (top,
// left) follow the pointer while the opposite edge stays; a bottom or right
// edge makes the size the distance from the fixed top or left edge to the
// pointer. Returns nothing - the window keeps its geometry - when no edge is
// set or when a dimension that changes would not stay strictly greater than
// the minimum.
std::optional<QRect> resizedGeometry(const QRect &pressGeometry, ResizeEdges edges,
                                     const QPoint &pointer, const QSize &minimumSize);
