#include "ui/boxes/custombox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace
{

const QSize kOneLineBoxSize(300, 100);
const QSize kTwoLineBoxSize(300, 150);
const QSize kQuestionBoxSize(380, 180);
const QMargins kTextMargins(16, 10, 16, 12);
// A box is never wider than its screen's available width less this on each
// side, nor wider than a comfortable line of text.
constexpr int kScreenMargin = 40;
constexpr int kReadingWidth = 640;
const char *const kInfoStyle = "font-size: 24px; color: rgb(0, 0, 0);";
const char *const kWarningStyle = "font-size: 24px; color: rgb(255, 170, 0);";
const char *const kTipStyle = "font-size: 15px; color: rgb(255, 0, 0);";
const char *const kQuestionStyle = "font-size: 18px; color: rgb(0, 0, 0);";

// One slot per shared box class. The box has no parent, so a post routine
// (run while the application object is being destroyed, when widgets can
// still be deleted) disposes of it; the QPointer also forgets a box that
// someone else deleted.
template <typename Box> QPointer<Box> &sharedSlot()
{
    static QPointer<Box> box;
    return box;
}

template <typename Box> void deleteSharedBox()
{
    delete sharedSlot<Box>().data();
}

template <typename Box, typename Make> Box *sharedBox(Make make)
{
    QPointer<Box> &slot = sharedSlot<Box>();
    if (slot.isNull()) {
        slot = make();
        qAddPostRoutine(&deleteSharedBox<Box>);
    }
    return slot.data();
}

QLabel *makeLabel(const QString &text, const char *style)
{
    auto *label = new QLabel(text);
    label->setStyleSheet(QString::fromLatin1(style));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// The widest the box may be on the screen it will show on.
int widestBox(const QWidget *box, const QWidget *anchor)
{
    const QScreen *screen = (anchor ? anchor : box)->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const int available = screen ? screen->availableGeometry().width() : kReadingWidth;
    return qMax(0, qMin(kReadingWidth, available - 2 * kScreenMargin));
}

// Wraps the box's texts or not, and brings every level of its layout up to
// date: the new texts and wrapping have invalidated only the innermost
// layout so far (the rest would follow in posted layout requests).
void wrapTexts(FramelessWidget *box, bool wrap)
{
    for (QLabel *label : box->content()->findChildren<QLabel *>())
        label->setWordWrap(wrap);
    for (QWidget *level = box->content(); level && level != box; level = level->parentWidget())
        level->updateGeometry();
    box->layout()->activate();
}

// Fits the box to its texts, never smaller than `size`: texts that fit in
// widestBox stay on their lines and widen the box; longer ones wrap at that
// width, and the box grows tall enough for every line.
void fitBox(FramelessWidget *box, const QSize &size, const QWidget *anchor)
{
    wrapTexts(box, false);
    const int widest = widestBox(box, anchor);
    if (box->minimumSizeHint().width() <= widest) {
        box->resize(size.expandedTo(box->minimumSizeHint()));
        return;
    }
    wrapTexts(box, true);
    const int width = qMax(size.width(), widest);
    const int height =
        box->hasHeightForWidth() ? box->heightForWidth(width) : box->minimumSizeHint().height();
    box->resize(width, qMax(size.height(), height));
}

bool isDismissKey(const QKeyEvent *event)
{
    const int key = event->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

// Closes the box it watches on Enter, Return or Esc, whichever of the box's
// widgets has the keyboard focus (an unused key travels up to the box).
class DismissKeys : public QObject
{
public:
    explicit DismissKeys(QWidget *box) : QObject(box), m_box(box) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !isDismissKey(static_cast<QKeyEvent *>(event)))
            return false;
        m_box->close();
        return true;
    }

private:
    QWidget *m_box;
};

// The options every message box shares.
void configureBox(FramelessWidget *box, const QString &title)
{
    box->setTitle(title);
    box->setMaximisable(false);
    box->setMinimisable(false);
    box->setResizable(false);
    box->setHelpButtonVisible(false);
    box->setWindowModality(Qt::ApplicationModal);
}

// `topLeft` moved as little as needed for the whole box to lie on the
// available area of the screen there.
QPoint keptOnScreen(const QWidget *box, QPoint topLeft)
{
    const QScreen *screen = QGuiApplication::screenAt(topLeft + box->rect().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return topLeft;
    const QRect area = screen->availableGeometry();
    topLeft.setX(
        qBound(area.left(), topLeft.x(), qMax(area.left(), area.right() + 1 - box->width())));
    topLeft.setY(
        qBound(area.top(), topLeft.y(), qMax(area.top(), area.bottom() + 1 - box->height())));
    return topLeft;
}

// Sets the title, fits the box to its texts (never smaller than `size`; a long
// text widens it up to widestBox, then wraps) and shows it. A box that was
// hidden is centred on the active window, or on the screen.
void presentBox(FramelessWidget *box, const QString &title, const QSize &size)
{
    box->setTitle(title);
    const QWidget *anchor = QApplication::activeWindow();
    fitBox(box, size, anchor);
    const bool wasVisible = box->isVisible();
    if (!wasVisible) {
        QRect area = anchor ? anchor->geometry() : QRect();
        if (!anchor || anchor == box) {
            const QScreen *screen = QGuiApplication::primaryScreen();
            area = screen ? screen->availableGeometry() : QRect();
        }
        if (area.isValid())
            box->move(keptOnScreen(box, area.center() - box->rect().center()));
    }
    box->show();
    if (wasVisible)
        box->raise(); // it may be behind another window
    box->activateWindow();
}

// The one-line boxes and the two-line warning boxes are dismissed by a key.
void configureMessageBox(FramelessWidget *box, const QString &title)
{
    configureBox(box, title);
    box->installEventFilter(new DismissKeys(box));
}

QLayout *oneLineLayout(QLabel *label)
{
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(kTextMargins);
    layout->addWidget(label);
    return layout;
}

QLayout *twoLineLayout(QLabel *mainLabel, QLabel *tipLabel)
{
    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(kTextMargins);
    layout->setSpacing(6);
    layout->addWidget(mainLabel);
    layout->addWidget(tipLabel);
    return layout;
}

} // namespace

CustomInfoBox::CustomInfoBox() : m_label(makeLabel(QString(), kInfoStyle))
{
    configureMessageBox(this, QString());
    setContentLayout(oneLineLayout(m_label));
    resize(kOneLineBoxSize);
}

void CustomInfoBox::showInfoBox(const QString &title, const QString &text)
{
    CustomInfoBox *box = sharedBox<CustomInfoBox>([] { return new CustomInfoBox; });
    box->m_label->setText(text);
    presentBox(box, title, kOneLineBoxSize);
}

CustomInfoBox *CustomInfoBox::instance()
{
    return sharedSlot<CustomInfoBox>().data();
}

QString CustomInfoBox::text() const
{
    return m_label->text();
}

CustomWarningBox::CustomWarningBox() : m_label(makeLabel(QString(), kWarningStyle))
{
    configureMessageBox(this, QString());
    setContentLayout(oneLineLayout(m_label));
    resize(kOneLineBoxSize);
}

void CustomWarningBox::showWarningBox(const QString &title, const QString &text)
{
    CustomWarningBox *box = sharedBox<CustomWarningBox>([] { return new CustomWarningBox; });
    box->m_label->setText(text);
    presentBox(box, title, kOneLineBoxSize);
}

CustomWarningBox *CustomWarningBox::instance()
{
    return sharedSlot<CustomWarningBox>().data();
}

QString CustomWarningBox::text() const
{
    return m_label->text();
}

CustomWarningBoxTips::CustomWarningBoxTips()
    : m_mainLabel(makeLabel(QString(), kWarningStyle)), m_tipLabel(makeLabel(QString(), kTipStyle))
{
    configureMessageBox(this, QString());
    setContentLayout(twoLineLayout(m_mainLabel, m_tipLabel));
    resize(kTwoLineBoxSize);
}

void CustomWarningBoxTips::showTips(const QString &title, const QString &mainText,
                                    const QString &tipText)
{
    CustomWarningBoxTips *box =
        sharedBox<CustomWarningBoxTips>([] { return new CustomWarningBoxTips; });
    box->m_mainLabel->setText(mainText);
    box->m_tipLabel->setText(tipText);
    presentBox(box, title, kTwoLineBoxSize);
}

CustomWarningBoxTips *CustomWarningBoxTips::instance()
{
    return sharedSlot<CustomWarningBoxTips>().data();
}

QString CustomWarningBoxTips::mainText() const
{
    return m_mainLabel->text();
}

QString CustomWarningBoxTips::tipText() const
{
    return m_tipLabel->text();
}

CustomWarningBoxTipsTwo::CustomWarningBoxTipsTwo(const QString &title, const QString &mainText,
                                                 const QString &tipText)
    : m_mainLabel(makeLabel(mainText, kWarningStyle)), m_tipLabel(makeLabel(tipText, kTipStyle))
{
    configureMessageBox(this, title);
    setAttribute(Qt::WA_DeleteOnClose);
    setContentLayout(twoLineLayout(m_mainLabel, m_tipLabel));
    presentBox(this, title, kTwoLineBoxSize);
}

CustomWarningBoxTipsTwo *CustomWarningBoxTipsTwo::showTips(const QString &title,
                                                           const QString &mainText,
                                                           const QString &tipText)
{
    return new CustomWarningBoxTipsTwo(title, mainText, tipText);
}

QString CustomWarningBoxTipsTwo::mainText() const
{
    return m_mainLabel->text();
}

QString CustomWarningBoxTipsTwo::tipText() const
{
    return m_tipLabel->text();
}

CustomQuestionBox::CustomQuestionBox(const QString &title, const QString &text)
    : m_label(makeLabel(text, kQuestionStyle)), m_yes(new QPushButton(tr("是"))),
      m_no(new QPushButton(tr("否")))
{
    configureBox(this, title);
    setAttribute(Qt::WA_DeleteOnClose);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_yes);
    buttons->addWidget(m_no);
    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(kTextMargins);
    layout->addWidget(m_label);
    layout->addLayout(buttons);
    setContentLayout(layout);
    connect(m_yes, &QPushButton::clicked, this, [this] { answer(true); });
    connect(m_no, &QPushButton::clicked, this, [this] { answer(false); });
    presentBox(this, title, kQuestionBoxSize);
    m_no->setFocus();
}

CustomQuestionBox *CustomQuestionBox::ask(const QString &title, const QString &text)
{
    return new CustomQuestionBox(title, text);
}

QString CustomQuestionBox::text() const
{
    return m_label->text();
}

void CustomQuestionBox::keyPressEvent(QKeyEvent *event)
{
    if (!isDismissKey(event)) {
        FramelessWidget::keyPressEvent(event);
        return;
    }
    answer(event->key() != Qt::Key_Escape && focusWidget() == m_yes);
}

void CustomQuestionBox::closeEvent(QCloseEvent *event)
{
    FramelessWidget::closeEvent(event);
    if (event->isAccepted() && !m_answered) {
        m_answered = true;
        emit answered(false);
    }
}

// The answer comes first, then the box goes, so that whoever hears it still
// has a modal box keeping the clicks away until it has acted.
void CustomQuestionBox::answer(bool yes)
{
    if (m_answered)
        return;
    m_answered = true;
    emit answered(yes);
    close();
}
