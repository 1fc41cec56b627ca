#pragma once

#include "ui/dialogs/dismissabledialog.h"

#include <QString>

class CredentialFieldGuard;

namespace Ui
{
class LoginSetings;
}

// The dialog "登录管理": checks a new login password against the current
// one, the account and the password policy, and hands an accepted one to the
// device page through sendSettings. Not shown by the constructor; the page
// calls setDismissable, which shows it.
class LoginSetings : public DismissableDialog
{
    Q_OBJECT

public:
    LoginSetings(const QString &currentAccount, const QString &currentPassword,
                 QWidget *parent = nullptr);
    ~LoginSetings() override;

    // The longest new login password the field takes.
    static constexpr int kMaxNewPasswordLength = 16;

signals:
    // newId is the unchanged current account, newKey the accepted password;
    // emitted once, after the dialog has closed.
    void sendSettings(QString newId, QString newKey);

private slots:
    void on_pushButton_sure_clicked();
    void on_pushButton_cancel_clicked();
    void on_lineEdit_oldKey_textChanged(const QString &arg1);
    void on_lineEdit_newKey_textChanged(const QString &arg1);

private:
    // The rejection text for the current entries, empty if they pass.
    QString rejection() const;

    Ui::LoginSetings *ui;
    CredentialFieldGuard *m_guard;
    const QString m_currentAccount;
    const QString m_currentPassword;
};
