#include "ui/dialogs/loginsetings.h"

#include "ui/dialogs/credentialfieldguard.h"
#include "ui/dialogs/passwordpolicy.h"
#include "ui_loginsetings.h"

LoginSetings::LoginSetings(const QString &currentAccount, const QString &currentPassword,
                           QWidget *parent)
    : DismissableDialog(parent), ui(new Ui::LoginSetings), m_guard(new CredentialFieldGuard(this)),
      m_currentAccount(currentAccount), m_currentPassword(currentPassword)
{
    ui->setupUi(this);
    setCancelButton(ui->pushButton_cancel);
    ui->label_ID->setText(currentAccount);
    ui->lineEdit_newKey->setMaxLength(kMaxNewPasswordLength);

    const std::pair<QLabel *, QLineEdit *> eyes[] = {{ui->label_eye1, ui->lineEdit_oldKey},
                                                     {ui->label_eye2, ui->lineEdit_newKey},
                                                     {ui->label_eye2_2, ui->lineEdit_newKey_2}};
    for (const auto &[eye, field] : eyes) {
        CredentialFieldGuard::loadEyeImage(eye);
        m_guard->watchEye(eye, field);
        m_guard->guardField(field);
    }
}

LoginSetings::~LoginSetings()
{
    delete ui;
}

QString LoginSetings::rejection() const
{
    if (ui->lineEdit_oldKey->text() != m_currentPassword)
        return tr("旧密码验证不通过，请重新输入！");
    const QString newPassword = ui->lineEdit_newKey->text();
    if (newPassword.isEmpty())
        return tr("新密码不能为空！");
    if (newPassword.size() < kMinPasswordLength)
        return tr("新密码少于8位，请重新输入！");
    if (!isPasswordStrongEnough(newPassword))
        return weakPasswordRejection();
    if (newPassword == m_currentAccount)
        return tr("新密码与账号重复，请重新输入！");
    if (newPassword == m_currentPassword)
        return tr("新密码与旧密码重复，请重新输入！");
    if (ui->lineEdit_newKey_2->text() != newPassword)
        return tr("新密码输入不统一，请重新输入！");
    return QString();
}

void LoginSetings::on_pushButton_sure_clicked()
{
    const QString message = rejection();
    if (!message.isEmpty()) {
        // A wrong old password is typed again; a refused new one keeps the
        // old. Emptied fields leave the message alone; it stays until the
        // user types.
        if (ui->lineEdit_oldKey->text() != m_currentPassword)
            refocusRejected(ui->lineEdit_oldKey, {ui->lineEdit_oldKey});
        else
            refocusRejected(ui->lineEdit_newKey, {ui->lineEdit_newKey, ui->lineEdit_newKey_2});
        ui->label_tips->setStyleSheet(rejectionStyle());
        ui->label_tips->setText(message);
        return;
    }
    const QString accepted = ui->lineEdit_newKey->text();
    accept();
    emit sendSettings(m_currentAccount, accepted);
}

void LoginSetings::on_pushButton_cancel_clicked()
{
    reject();
}

void LoginSetings::on_lineEdit_oldKey_textChanged(const QString &arg1)
{
    if (!arg1.isEmpty())
        ui->label_tips->clear();
}

void LoginSetings::on_lineEdit_newKey_textChanged(const QString &arg1)
{
    if (!arg1.isEmpty())
        ui->label_tips->clear();
    showPasswordStrength(ui->label_tips, arg1);
}
