#include "ui/station/slottile.h"

#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QVBoxLayout>

namespace
{

struct Palette {
    const char *colour;
    const char *background;
};

Palette paletteOf(SlotView::State state)
{
    switch (state) {
    case SlotView::State::Running:
        return {"blue", "#1e6fd9"};
    case SlotView::State::Passed:
        return {"green", "#2e9d45"};
    case SlotView::State::Failed:
    case SlotView::State::Refused:
        return {"red", "#d03a32"};
    case SlotView::State::Idle:
    case SlotView::State::Waiting:
        break;
    }
    return {"grey", "#8a8f96"};
}

QLabel *label(QWidget *parent, int pointSize, bool bold)
{
    auto *text = new QLabel(parent);
    QFont font = text->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    text->setFont(font);
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::NoTextInteraction);
    text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return text;
}

} // namespace

SlotTile::SlotTile(QWidget *parent)
    : QFrame(parent), name(label(this, 14, true)), port(label(this, 8, false)),
      state(label(this, 11, true)), progress(new QProgressBar(this)), macs(label(this, 8, false)),
      counts(label(this, 8, false))
{
    setObjectName(QStringLiteral("slotTile"));
    setMinimumSize(200, 150);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(3);
    for (QWidget *part : {static_cast<QWidget *>(name), static_cast<QWidget *>(port),
                          static_cast<QWidget *>(state), static_cast<QWidget *>(progress),
                          static_cast<QWidget *>(macs), static_cast<QWidget *>(counts)})
        layout->addWidget(part);
    layout->addStretch(1);
    progress->setTextVisible(true);
    progress->setMaximumHeight(14);
    setCursor(Qt::PointingHandCursor);
}

void SlotTile::display(const SlotView &view)
{
    const Palette palette = paletteOf(view.state);
    // A style sheet is costly to apply: only when the colour changes.
    if (colour() != QLatin1String(palette.colour)) {
        setProperty("colour", QString::fromLatin1(palette.colour));
        setStyleSheet(QStringLiteral("#slotTile{background:%1;border-radius:6px;}"
                                     "#slotTile QLabel{color:#ffffff;background:transparent;}")
                          .arg(QLatin1String(palette.background)));
    }
    name->setText(view.name);
    port->setText(view.port);
    state->setText(view.note.isEmpty() ? view.status
                                       : QStringLiteral("%1（%2）").arg(view.status, view.note));
    progress->setVisible(view.percent >= 0);
    progress->setValue(qMax(0, view.percent));
    QStringList lines;
    if (!view.wifiMac.isEmpty())
        lines << QStringLiteral("WiFi %1").arg(view.wifiMac);
    if (!view.feMac.isEmpty())
        lines << QStringLiteral("FE %1").arg(view.feMac);
    if (!view.time.isEmpty())
        lines << tr("时间 %1").arg(view.time);
    macs->setText(lines.join(QLatin1Char('\n')));
    counts->setText(tr("通过 %1  失败 %2  良率 %3")
                        .arg(view.passed)
                        .arg(view.failed)
                        .arg(StationBoard::yieldText(view.passed, view.failed)));
}

QString SlotTile::stateText() const
{
    return state->text();
}

void SlotTile::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}
