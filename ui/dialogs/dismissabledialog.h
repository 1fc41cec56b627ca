#pragma once

#include <QDialog>

class QAbstractButton;

// A modal dialog whose title bar holds only a close button and that can be
// made impossible to dismiss: the password dialogs opened to force the
// replacement of a factory-default password must end only by acceptance.
// While shown it stays in front of the window it belongs to: a window manager
// that minimises it anyway sees it come straight back, and activating that
// window raises it again, so the blocked window is never left alone.
class DismissableDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DismissableDialog(QWidget *parent = nullptr);

    // true: close button hint on, cancel button enabled; false: hint off,
    // cancel button disabled, and Escape and close events are refused. The
    // dialog is made modal and shown either way (changing the window flags
    // hides a visible window).
    void setDismissable(bool dismissable);
    bool isDismissable() const { return m_dismissable; }

public slots:
    // Refused while the dialog is not dismissable; Escape, the close button
    // and QWidget::close() all end up here.
    void reject() override;

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The button that setDismissable enables and disables.
    void setCancelButton(QAbstractButton *button) { m_cancelButton = button; }

private:
    // Un-minimises, raises and activates the dialog while it is shown.
    void bringBack();

    QAbstractButton *m_cancelButton = nullptr;
    bool m_dismissable = true;
};
