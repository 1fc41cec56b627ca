#pragma once

#include "ui/frame/framelesswidget.h"

#include <QString>

class QLabel;
class QPushButton;

// Message boxes on the frameless frame: application-modal, without minimise,
// maximise, full screen, help or resizing (a message box is answered, not
// arranged), movable by the title bar and closed by its close button, by
// Enter or by Esc.
//
// The information box, the warning box and the login-password warning box are
// single instances created on first use without a parent; closing only hides
// them. They are deleted when the application object is destroyed.

// The shared information box (black text).
class CustomInfoBox : public FramelessWidget
{
    Q_OBJECT

public:
    // Shows the box with this title and text and returns at once; a box already
    // on screen takes the new title and text in place.
    static void showInfoBox(const QString &title, const QString &text);
    // The shared box, or nullptr before the first showInfoBox().
    static CustomInfoBox *instance();
    QString text() const;

private:
    CustomInfoBox();
    QLabel *m_label;
};

// The shared warning box (orange text).
class CustomWarningBox : public FramelessWidget
{
    Q_OBJECT

public:
    // As CustomInfoBox::showInfoBox, for the warning box.
    static void showWarningBox(const QString &title, const QString &text);
    static CustomWarningBox *instance();
    QString text() const;

private:
    CustomWarningBox();
    QLabel *m_label;
};

// The shared two-line warning box of the login password: a large orange main
// line above a small red tip line.
class CustomWarningBoxTips : public FramelessWidget
{
    Q_OBJECT

public:
    // Shows the shared box with these texts and returns at once.
    static void showTips(const QString &title, const QString &mainText, const QString &tipText);
    static CustomWarningBoxTips *instance();
    QString mainText() const;
    QString tipText() const;

private:
    CustomWarningBoxTips();
    QLabel *m_mainLabel;
    QLabel *m_tipLabel;
};

// The two-line warning box of the Wi-Fi password: a new box for every use,
// without parent, deleted when closed.
class CustomWarningBoxTipsTwo : public FramelessWidget
{
    Q_OBJECT

public:
    // Builds the box and shows it; it deletes itself when closed.
    CustomWarningBoxTipsTwo(const QString &title, const QString &mainText, const QString &tipText);
    // The same as a call: returns the box already on screen (valid until it is
    // closed; hold it in a QPointer).
    static CustomWarningBoxTipsTwo *showTips(const QString &title, const QString &mainText,
                                             const QString &tipText);
    QString mainText() const;
    QString tipText() const;

private:
    QLabel *m_mainLabel;
    QLabel *m_tipLabel;
};

// A yes/no question in the style of the message boxes, with the buttons "是"
// and "否" under the text: a new box for every question, application-modal,
// deleted when closed. answered() comes once: true for "是"; "否", Esc and the
// close button answer no. Enter presses the button that has the focus, "否" at
// first, so a hurried Enter never says yes.
class CustomQuestionBox : public FramelessWidget
{
    Q_OBJECT

public:
    CustomQuestionBox(const QString &title, const QString &text);
    // Builds the box and shows it; returns the box on screen (valid until it
    // is closed; hold it in a QPointer).
    static CustomQuestionBox *ask(const QString &title, const QString &text);
    QString text() const;

signals:
    void answered(bool yes);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void answer(bool yes);

    QLabel *m_label;
    QPushButton *m_yes;
    QPushButton *m_no;
    bool m_answered = false;
};
