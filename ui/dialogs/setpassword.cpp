#include "ui/dialogs/setpassword.h"

#include "protocol/frame.h"
#include "protocol/settingsfields.h"
#include "ui/dialogs/credentialfieldguard.h"
#include "ui/dialogs/passwordpolicy.h"
#include "ui_setpassword.h"

#include <QTimer>

SetPassword::SetPassword(const QString &currentWifiPassword, const QString &currentSsid,
                         QWidget *parent)
    : DismissableDialog(parent), ui(new Ui::SetPassword), m_guard(new CredentialFieldGuard(this)),
      m_messageTimer(new QTimer(this)), m_currentPassword(currentWifiPassword),
      m_currentSsid(currentSsid)
{
    ui->setupUi(this);
    setCancelButton(ui->pushButton_Cancel);
    ui->label_SSID->setText(currentSsid);
    // The new password is typed key by key; no composed input.
    ui->lineEdit->setAttribute(Qt::WA_InputMethodEnabled, false);

    const std::pair<QLabel *, QLineEdit *> eyes[] = {{ui->label_eye3, ui->lineEdit_3},
                                                     {ui->label_eye2, ui->lineEdit},
                                                     {ui->label_eye, ui->lineEdit_2}};
    for (const auto &[eye, field] : eyes) {
        CredentialFieldGuard::loadEyeImage(eye);
        m_guard->watchEye(eye, field);
        m_guard->guardField(field);
    }

    // The message pause runs in the event loop: the dialog stays usable and
    // a later rejection restarts the pause.
    m_messageTimer->setSingleShot(true);
    m_messageTimer->setInterval(kMessageDurationMs);
    connect(m_messageTimer, &QTimer::timeout, ui->label_3, &QLabel::clear);
}

SetPassword::~SetPassword()
{
    delete ui;
}

QString SetPassword::oldPasswordRejection() const
{
    if (ui->lineEdit_3->text() != m_currentPassword)
        return tr("旧密码验证不通过,请重新输入！");
    return QString();
}

QString SetPassword::newPasswordRejection() const
{
    const QString newPassword = ui->lineEdit->text();
    if (newPassword.isEmpty())
        return tr("新密码不能为空,请重新输入！");
    if (newPassword.size() < kMinPasswordLength)
        return tr("新密码少于8位,请重新输入！");
    if (!fitsTextField(newPassword, Registers::WIFI_PASSWORD_FIELD_BYTES))
        return tr("新密码超过32个字节,请重新输入！");
    if (newPassword == m_currentPassword)
        return tr("新密码与旧密码重复，请重新输入！");
    if (newPassword == m_currentSsid)
        return tr("新密码与SSID重复，请重新输入！！");
    if (!isPasswordStrongEnough(newPassword))
        return weakPasswordRejection();
    if (ui->lineEdit_2->text() != newPassword)
        return tr("新密码输入不统一,请重新输入！");
    return QString();
}

void SetPassword::showRejection(const QString &message)
{
    ui->label_3->setStyleSheet(rejectionStyle());
    ui->label_3->setText(message);
    m_messageTimer->start();
}

void SetPassword::on_pushButton_OK_clicked()
{
    const QString oldRejection = oldPasswordRejection();
    if (!oldRejection.isEmpty()) {
        refocusRejected(ui->lineEdit_3, {ui->lineEdit_3});
        showRejection(oldRejection);
        return;
    }
    const QString newRejection = newPasswordRejection();
    if (!newRejection.isEmpty()) {
        // The old password was right: it stays.
        refocusRejected(ui->lineEdit, {ui->lineEdit, ui->lineEdit_2});
        showRejection(newRejection);
        return;
    }
    const QString accepted = ui->lineEdit->text();
    m_messageTimer->stop();
    accept();
    emit sendPassword(accepted);
}

void SetPassword::on_pushButton_Cancel_clicked()
{
    reject();
}

void SetPassword::on_lineEdit_textChanged(const QString &arg1)
{
    showPasswordStrength(ui->label_3, arg1);
}
