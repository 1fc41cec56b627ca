#include "ui/macpage/dbpassword.h"
#include "ui_dbpassword.h"

DBPassword::DBPassword(const QString &expectedPassword, QWidget *parent)
    : QDialog(parent), ui(new Ui::DBPassword), expected(expectedPassword)
{
    ui->setupUi(this);
    ui->label_info->hide();
}

DBPassword::~DBPassword()
{
    delete ui;
}

void DBPassword::on_pushButton_clicked()
{
    const QString password = ui->lineEdit_ps->text();
    if (password != ui->lineEdit_ps_q->text()) {
        ui->label_info->setText(tr("两次输入密码不正确!"));
        ui->label_info->show();
        return;
    }
    if (password != expected) {
        ui->label_info->setText(tr("密码不正确!"));
        ui->label_info->show();
        return;
    }
    close();
    emit psOk();
}
