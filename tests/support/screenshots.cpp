#include "support/screenshots.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSet>
#include <QTest>
#include <QWidget>

namespace
{

// Where every widget of the window sits; hidden ones count as empty.
QVector<QRect> layoutSnapshot(QWidget *window)
{
    QVector<QRect> snapshot{window->geometry()};
    for (const QWidget *child : window->findChildren<QWidget *>())
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
    // A layout pass can post the next one (a resize, a changed size hint):
    // run them until a pass leaves every widget where it was.
    QVector<QRect> before;
    for (int pass = 0; pass < 50; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
        const QVector<QRect> after = layoutSnapshot(window);
        if (after == before)
            return true;
        before = after;
    }
    return false;
}

QImage grabSettled(QWidget *window)
{
    return settleLayouts(window) ? window->grab().toImage() : QImage();
}
