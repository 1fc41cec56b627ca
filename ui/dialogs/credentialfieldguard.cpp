#include "ui/dialogs/credentialfieldguard.h"

#include "resources/resources.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>

namespace
{

// The eye image is drawn to fit the line edit's height; anything larger is
// scaled down so that it cannot stretch the field.
constexpr int kEyeImageMaxHeight = 16;

bool isClipboardShortcut(QKeyEvent *key)
{
    return key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut) ||
           key->matches(QKeySequence::Paste) || key->matches(QKeySequence::SelectAll);
}

bool isMiddleButtonPress(QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return false;
    return static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton;
}

} // namespace

CredentialFieldGuard::CredentialFieldGuard(QObject *parent) : QObject(parent) {}

void CredentialFieldGuard::watchEye(QLabel *eye, QLineEdit *field)
{
    m_eyes.insert(eye, field);
    eye->installEventFilter(this);
}

void CredentialFieldGuard::guardField(QLineEdit *field)
{
    field->setContextMenuPolicy(Qt::NoContextMenu);
    field->setAcceptDrops(false);
    field->setDragEnabled(false);
    field->installEventFilter(this);
}

void CredentialFieldGuard::loadEyeImage(QLabel *eye)
{
    initMaintResources();
    QPixmap image(QStringLiteral(":/images/openEye.png"));
    if (image.height() > kEyeImageMaxHeight)
        image = image.scaledToHeight(kEyeImageMaxHeight, Qt::SmoothTransformation);
    eye->setPixmap(image);
    eye->setAlignment(Qt::AlignCenter);
}

bool CredentialFieldGuard::eventFilter(QObject *watched, QEvent *event)
{
    const auto eye = m_eyes.constFind(watched);
    if (eye != m_eyes.constEnd())
        return filterEye(eye.value(), event);
    if (qobject_cast<QLineEdit *>(watched))
        return filterField(event);
    return false;
}

bool CredentialFieldGuard::filterEye(QLineEdit *field, QEvent *event)
{
    if (event->type() == QEvent::Enter)
        field->setEchoMode(QLineEdit::Normal);
    else if (event->type() == QEvent::Leave)
        field->setEchoMode(QLineEdit::Password);
    return false;
}

bool CredentialFieldGuard::filterField(QEvent *event)
{
    if (event->type() == QEvent::KeyPress)
        return isClipboardShortcut(static_cast<QKeyEvent *>(event));
    return isMiddleButtonPress(event);
}
