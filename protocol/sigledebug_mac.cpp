// Device page: the MAC address dialogs and the writes of the Wi-Fi and FE
// MAC addresses, with the MAC pool marking an accepted address as used.
#include "protocol/sigledebug.h"

#include "macpool/macstore.h"
#include "ui/boxes/custombox.h"
#include "ui/dialogs/setmac.h"
#include "ui_sigledebug.h"

void SigleDebug::on_pushButton_setWifiMAC_clicked()
{
    auto *dialog = new SetMac(ui->label_wifiMac->text(), this);
    connect(dialog, &SetMac::sendNewMac, this, &SigleDebug::setWifiMac);
    showSettingsDialog(dialog);
}

void SigleDebug::on_pushButton_setFeMAC_clicked()
{
    auto *dialog = new SetMac(ui->label_feMac->text(), this);
    connect(dialog, &SetMac::sendNewMac, this, &SigleDebug::setFeMac);
    showSettingsDialog(dialog);
}

void SigleDebug::setWifiMac(QString mac)
{
    writeMac(SessionRequest::WriteWifiMac, mac);
}

void SigleDebug::setFeMac(QString mac)
{
    writeMac(SessionRequest::WriteFeMac, mac);
}

// Nothing is sent without an operator name or with a text that is not six
// bytes. Once the module has accepted the address it keeps it, whatever the
// pool answers; a pool error is only reported and the pool entry stays free.
void SigleDebug::writeMac(SessionRequest request, const QString &mac)
{
    const QString operatorName = ui->lineEidt_op->text();
    if (operatorName.trimmed().isEmpty()) {
        CustomWarningBox::showWarningBox(tr("参数错误"), tr("请输入操作员信息!"));
        return;
    }
    const StepResult written = request == SessionRequest::WriteWifiMac ? session->writeWifiMac(mac)
                                                                       : session->writeFeMac(mac);
    if (!settingWritten(request, written))
        return;

    MacUsageRecord record;
    record.MacAddr = mac;
    record.IsUsed = 1;
    record.Operator = operatorName; // as typed, not stripped
    QString errorText;
    markMacUsed(record, errorText);
    if (!errorText.isEmpty()) {
        CustomWarningBox::showWarningBox(tr("MAC操作"), errorText);
        return;
    }
    CustomInfoBox::showInfoBox(tr("提示"), tr("设置成功！"));
    on_pushButton_refresh_clicked();
}
