#include "ui/dialogs/setmac.h"

#include "macpool/macstore.h"
#include "ui/dialogs/macformat.h"
#include "ui_setmac.h"

#include <QStringList>

SetMac::SetMac(const QString &currentMac, QWidget *parent) : QDialog(parent), ui(new Ui::SetMac)
{
    ui->setupUi(this);
    ui->label_orMac->setText(currentMac);
}

SetMac::~SetMac()
{
    delete ui;
}

QString SetMac::formatMac(QString macAddr)
{
    return formatStoredMac(macAddr);
}

// A message stays until the next one replaces it.
void SetMac::showMessage(const QString &text)
{
    ui->label_msg->setText(text);
}

void SetMac::on_pushButton_getMac_clicked()
{
    QString errorText;
    const QStringList free = takeUnusedMacs(errorText, 1).split(QLatin1Char(';'));
    if (!errorText.isEmpty()) {
        showMessage(tr("数据库操作失败！")); // the address shown, if any, stays
        return;
    }
    if (!free.first().isEmpty()) {
        ui->lineEdit->setText(formatMac(free.first()));
        return;
    }
    showMessage(tr("可用MAC地址已用完，请重新生成！"));
    ui->lineEdit->clear();
}

void SetMac::on_pushButton_Ok_clicked()
{
    const QString mac = ui->lineEdit->text();
    if (mac.isEmpty()) {
        showMessage(tr("请先获取到MAC地址！"));
        return;
    }
    accept();
    // The receiver may run a long exchange and release this dialog meanwhile:
    // nothing of it is touched after the emission.
    emit sendNewMac(mac);
}

void SetMac::on_pushButton_Cancel_clicked()
{
    reject();
}
