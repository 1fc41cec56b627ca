#pragma once

#include "ui/dialogs/dismissabledialog.h"

#include <QString>

class CredentialFieldGuard;
class QTimer;

namespace Ui
{
class SetPassword;
}

// The dialog "Wifi密码设置": checks a new Wi-Fi password against the current
// one, the current SSID and the password policy, and hands an accepted one
// to the device page through sendPassword. Not shown by the constructor; the
// page calls setDismissable, which shows it.
class SetPassword : public DismissableDialog
{
    Q_OBJECT

public:
    SetPassword(const QString &currentWifiPassword, const QString &currentSsid,
                QWidget *parent = nullptr);
    ~SetPassword() override;

    // How long a rejection message stays in label_3.
    static constexpr int kMessageDurationMs = 2000;

signals:
    // The accepted new password; emitted once, after the dialog has closed.
    void sendPassword(QString ps);

private slots:
    void on_pushButton_OK_clicked();
    void on_pushButton_Cancel_clicked();
    void on_lineEdit_textChanged(const QString &arg1);

private:
    // The rejection text for the current entries, empty if they pass.
    QString oldPasswordRejection() const;
    QString newPasswordRejection() const;
    void showRejection(const QString &message);

    Ui::SetPassword *ui;
    CredentialFieldGuard *m_guard;
    QTimer *m_messageTimer;
    const QString m_currentPassword;
    const QString m_currentSsid;
};
