#include "ui/dialogs/login.h"

#include "ui/dialogs/credentialfieldguard.h"
#include "ui_login.h"

Login::Login(QWidget *parent)
    : QWidget(parent), ui(new Ui::Login), m_guard(new CredentialFieldGuard(this))
{
    ui->setupUi(this);
    ui->pushButton_enter->setEnabled(false);
    CredentialFieldGuard::loadEyeImage(ui->label_eye1);
    CredentialFieldGuard::loadEyeImage(ui->label_eye2);
    // The account is shown in clear anyway, so only the password has a
    // working eye.
    m_guard->watchEye(ui->label_eye2, ui->lineEdit_password);
    m_guard->guardField(ui->lineEdit_id);
    m_guard->guardField(ui->lineEdit_password);
    connect(ui->lineEdit_id, &QLineEdit::returnPressed, ui->lineEdit_password,
            [this] { ui->lineEdit_password->setFocus(Qt::TabFocusReason); });
    connect(ui->lineEdit_password, &QLineEdit::returnPressed, this, [this] {
        if (ui->pushButton_enter->isEnabled())
            ui->pushButton_enter->click();
    });
}

Login::~Login()
{
    delete ui;
}

void Login::enterEnable(bool res)
{
    ui->pushButton_enter->setEnabled(res);
}

void Login::focusAccount()
{
    ui->lineEdit_id->setFocus(Qt::OtherFocusReason);
}

void Login::on_pushButton_enter_clicked()
{
    ui->pushButton_enter->setEnabled(false);
    emit isPass(ui->lineEdit_id->text(), ui->lineEdit_password->text());
    ui->lineEdit_id->clear();
    ui->lineEdit_password->clear();
    if (isVisible()) // a refused login is typed again from the account
        focusAccount();
}
