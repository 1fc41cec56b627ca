#pragma once

#include <QWidget>

class CredentialFieldGuard;

namespace Ui
{
class Login;
}

// The login panel embedded in the device page. It checks nothing: the
// account and password typed are handed on through isPass, and the enter
// button stays disabled until the page calls enterEnable(true). Enter in the
// account field moves to the password; Enter in the password field presses
// the enter button while it is enabled.
class Login : public QWidget
{
    Q_OBJECT

public:
    explicit Login(QWidget *parent = nullptr);
    ~Login() override;

signals:
    // The typed account and password, in clear.
    void isPass(QString id, QString en_key);

public slots:
    // Enables or disables pushButton_enter.
    void enterEnable(bool res);
    // Puts the cursor in the account field, where a login starts.
    void focusAccount();

private slots:
    // Disables the enter button, emits isPass, then clears both fields. The
    // button is disabled before the emission so that a receiver may enable
    // it again from its slot.
    void on_pushButton_enter_clicked();

private:
    Ui::Login *ui;
    CredentialFieldGuard *m_guard;
};
