#include "support/screenshots.h"

#include <QCoreApplication>
#include <QEvent>
#include <QRect>
#include <QSet>
#include <QTest>
#include <QVector>
#include <QWidget>

namespace
{

// Where every widget of the window sits, and whether it is shown.
QVector<QRect> layoutSnapshot(QWidget *window)
{
    QVector<QRect> snapshot{window->geometry()};
    const QList<QWidget *> children = window->findChildren<QWidget *>();
    for (const QWidget *child : children)
        snapshot << (child->isVisible() ? child->geometry() : QRect());
    return snapshot;
}

} // namespace

int distinctColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

bool settleLayouts(QWidget *window)
{
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    // A layout pass can post the next one (a resize, a size hint that
    // changed), so run them until two passes in a row leave every widget
    // where it was.
    constexpr int kMaxPasses = 50;
    QVector<QRect> before = layoutSnapshot(window);
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
        const QVector<QRect> after = layoutSnapshot(window);
        if (after == before && pass > 0)
            return true;
        before = after;
    }
    return false;
}

QImage grabSettled(QWidget *window)
{
    return settleLayouts(window) ? window->grab().toImage() : QImage();
}
