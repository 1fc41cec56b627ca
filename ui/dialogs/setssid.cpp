#include "ui/dialogs/setssid.h"

#include "protocol/settingsfields.h"
#include "ui_setssid.h"

SetSSID::SetSSID(const QString &currentSsid, const QString &currentWifiPassword, QWidget *parent)
    : QDialog(parent), ui(new Ui::SetSSID), m_currentPassword(currentWifiPassword)
{
    ui->setupUi(this);
    ui->label_SSID->setText(currentSsid);
}

SetSSID::~SetSSID()
{
    delete ui;
}

QString SetSSID::rejection(const QString &ssid) const
{
    if (ssid.isEmpty())
        return tr("新SSID不能为空！");
    if (ssid == ui->label_SSID->text())
        return tr("新SSID不能与原SSID重复！");
    if (ssid == m_currentPassword)
        return tr("新SSID不能与密码重复！");
    if (!ssidFits(ssid))
        return tr("新SSID不能超过32个字节（现为%1个字节）！").arg(encodeLocalText(ssid).size());
    return QString();
}

void SetSSID::on_pushButton_Ok_clicked()
{
    const QString ssid = ui->lineEdit_setSSID->text();
    const QString message = rejection(ssid);
    if (!message.isEmpty()) {
        // An empty entry has nothing to clear; a repeated one is cleared; an
        // over-long one stays, to be shortened. An emptied entry leaves the
        // message in place.
        ui->label_tip->setText(message);
        if (ssidFits(ssid))
            ui->lineEdit_setSSID->clear();
        return;
    }
    accept();
    emit sendNewSSID(ssid);
}

void SetSSID::on_pushButton_Cancel_clicked()
{
    reject();
}

void SetSSID::on_lineEdit_setSSID_textChanged(const QString &arg1)
{
    if (!arg1.isEmpty())
        ui->label_tip->clear();
}
