#include "ui/dialogs/dismissabledialog.h"

#include <QAbstractButton>

DismissableDialog::DismissableDialog(QWidget *parent) : QDialog(parent) {}

void DismissableDialog::setDismissable(bool dismissable)
{
    m_dismissable = dismissable;
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
