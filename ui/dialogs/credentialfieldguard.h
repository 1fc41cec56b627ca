#pragma once

#include <QHash>
#include <QObject>

class QLabel;
class QLineEdit;

// Event filter shared by the password dialogs and the login panel.
//
// Eye labels: while the mouse rests on an eye label its line edit shows its
// text in clear; leaving the label masks it again.
//
// Credential fields: the standard copy, cut, paste and select-all shortcuts
// are swallowed. The other ways to move text through the clipboard are shut
// as well, so that the shortcuts are not simply bypassed: the context menu,
// the middle-button paste of the selection clipboard, and drag and drop.
class CredentialFieldGuard : public QObject
{
    Q_OBJECT

public:
    explicit CredentialFieldGuard(QObject *parent = nullptr);

    // Makes eye toggle the echo mode of field. eye must be loaded with its
    // image by the caller; both widgets must outlive the guard or be its
    // owner's children.
    void watchEye(QLabel *eye, QLineEdit *field);

    // Shuts the clipboard routes of field described above.
    void guardField(QLineEdit *field);

    // Loads the eye image (":/images/openEye.png") into eye; a missing image
    // leaves the label empty.
    static void loadEyeImage(QLabel *eye);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool filterEye(QLineEdit *field, QEvent *event);
    bool filterField(QEvent *event);

    QHash<QObject *, QLineEdit *> m_eyes;
};
