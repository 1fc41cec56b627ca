#include "ui/frame/framegeometry.h"

bool leftEdgeHit(const QRect &geometry, const QPoint &screenPos, int border)
{
    const int x = screenPos.x();
    return x >= geometry.left() && x <= geometry.left() + border;
}

bool rightEdgeHit(const QRect &geometry, const QPoint &screenPos, int border)
{
    const int x = screenPos.x();
    return x >= geometry.right() + 1 - border && x <= geometry.right() + 1;
}

bool topEdgeHit(const QRect &geometry, const QPoint &screenPos, int border)
{
    const int y = screenPos.y();
    return y >= geometry.top() && y <= geometry.top() + border;
}

bool bottomEdgeHit(const QRect &geometry, const QPoint &screenPos, int border)
{
    const int y = screenPos.y();
    return y >= geometry.bottom() + 1 - border && y <= geometry.bottom() + 1;
}

FrameZone frameZoneAt(const QRect &geometry, const QPoint &screenPos, int border)
{
    const bool left = leftEdgeHit(geometry, screenPos, border);
    const bool right = rightEdgeHit(geometry, screenPos, border);
    const bool top = topEdgeHit(geometry, screenPos, border);
    const bool bottom = bottomEdgeHit(geometry, screenPos, border);
    if (left && top)
        return FrameZone::TopLeft;
    if (right && top)
        return FrameZone::TopRight;
    if (left && bottom)
        return FrameZone::BottomLeft;
    if (right && bottom)
        return FrameZone::BottomRight;
    if (top)
        return FrameZone::Top;
    if (left)
        return FrameZone::Left;
    if (right)
        return FrameZone::Right;
    if (bottom)
        return FrameZone::Bottom;
    return FrameZone::None;
}

Qt::CursorShape cursorForZone(FrameZone zone)
{
    switch (zone) {
    case FrameZone::TopLeft:
    case FrameZone::BottomRight:
        return Qt::SizeFDiagCursor;
    case FrameZone::TopRight:
    case FrameZone::BottomLeft:
        return Qt::SizeBDiagCursor;
    case FrameZone::Top:
    case FrameZone::Bottom:
        return Qt::SizeVerCursor;
    case FrameZone::Left:
    case FrameZone::Right:
        return Qt::SizeHorCursor;
    case FrameZone::None:
        break;
    }
    return Qt::ArrowCursor;
}

ResizeEdges edgesForZone(FrameZone zone)
{
    ResizeEdges edges;
    edges.top = zone == FrameZone::TopLeft || zone == FrameZone::TopRight || zone == FrameZone::Top;
    edges.bottom = zone == FrameZone::BottomLeft || zone == FrameZone::BottomRight ||
                   zone == FrameZone::Bottom;
    edges.left =
        zone == FrameZone::TopLeft || zone == FrameZone::BottomLeft || zone == FrameZone::Left;
    edges.right =
        zone == FrameZone::TopRight || zone == FrameZone::BottomRight || zone == FrameZone::Right;
    return edges;
}

std::optional<QRect> resizedGeometry(const QRect &pressGeometry, ResizeEdges edges,
                                     const QPoint &pointer, const QSize &minimumSize)
{
    const int L = pressGeometry.left();
    const int T = pressGeometry.top();
    const int R = pressGeometry.right();
    const int B = pressGeometry.bottom();
    const int x = pointer.x();
    const int y = pointer.y();

    // Vertical extent: the top edge follows the pointer down to a fixed bottom,
    // or the bottom edge sits at the pointer below a fixed top.
    int top = T;
    int height = B - T + 1;
    bool heightChanges = false;
    if (edges.top) {
        top = y;
        height = B - y + 1;
        heightChanges = true;
    } else if (edges.bottom) {
        height = y - T;
        heightChanges = true;
    }

    int left = L;
    int width = R - L + 1;
    bool widthChanges = false;
    if (edges.left) {
        left = x;
        width = R - x + 1;
        widthChanges = true;
    } else if (edges.right) {
        width = x - L;
        widthChanges = true;
    }

    if (!heightChanges && !widthChanges)
        return std::nullopt;
    if (heightChanges && height <= minimumSize.height())
        return std::nullopt;
    if (widthChanges && width <= minimumSize.width())
        return std::nullopt;
    return QRect(left, top, width, height);
}
