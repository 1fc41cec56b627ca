#include "ui/dialogs/dismissabledialog.h"

#include <QAbstractButton>
#include <QEvent>

DismissableDialog::DismissableDialog(QWidget *parent) : QDialog(parent)
{
    if (parent)
        parent->window()->installEventFilter(this);
}

void DismissableDialog::setDismissable(bool dismissable)
{
    m_dismissable = dismissable;
    // No minimise or maximise hint: a window manager that honours the hints
    // offers neither button.
    Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint;
    if (dismissable)
        flags |= Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    if (m_cancelButton)
        m_cancelButton->setEnabled(dismissable);
    setModal(true);
    show();
}

void DismissableDialog::reject()
{
    if (m_dismissable)
        QDialog::reject();
}

void DismissableDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // Queued: the state change is still being delivered.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QMetaObject::invokeMethod(
            this, [this] { bringBack(); }, Qt::QueuedConnection);
}

// Watches the window the dialog belongs to: when it is activated or comes
// back from the minimised state, the dialog comes back in front of it.
bool DismissableDialog::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const auto *owner = qobject_cast<QWidget *>(watched);
    const bool ownerBack = owner && owner != this && !owner->isMinimized() &&
                           (type == QEvent::WindowActivate || type == QEvent::WindowStateChange);
    if (ownerBack)
        bringBack();
    return QDialog::eventFilter(watched, event);
}

void DismissableDialog::bringBack()
{
    if (!isVisible() || !isModal())
        return;
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}
