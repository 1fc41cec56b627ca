// Device page: the MAC address dialogs and the writes of the Wi-Fi and FE
// MAC addresses, with the MAC pool settling the dialog's claim by the
// outcome of the write.
#include "ui/device/sigledebug.h"

#include "macpool/macpool.h"
#include "provision/claimsettlement.h"
#include "ui/boxes/custombox.h"
#include "ui/device/deviceline.h"
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
// bytes.
void SigleDebug::writeMac(SessionRequest request, const QString &mac)
{
    const QString operatorName = ui->lineEidt_op->text();
    if (operatorName.trimmed().isEmpty()) {
        MacPool pool(localPoolUrl(), MacPool::processClaimer());
        QString poolError;
        pool.release(mac, poolError);
        CustomWarningBox::showWarningBox(tr("参数错误"), tr("请输入操作员信息!"));
        return;
    }
    line->run(
        [request, mac](ModuleSession &session) {
            return request == SessionRequest::WriteWifiMac ? session.writeWifiMac(mac)
                                                           : session.writeFeMac(mac);
        },
        [this, request, mac, operatorName](const StepResult &written) {
            settleMac(request, mac, operatorName, written);
        });
}

// Once the module has accepted the address it keeps it, whatever the pool
// answers; a pool error is only reported.
void SigleDebug::settleMac(SessionRequest request, const QString &mac, const QString &operatorName,
                           const StepResult &written)
{
    MacPool pool(localPoolUrl(), MacPool::processClaimer());
    QString poolError;
    if (!settingWritten(request, written)) {
        if (settlementOf(written) == ClaimSettlement::Quarantine)
            pool.quarantine(mac,
                            written.outcome == StepOutcome::TimedOut ? tr("写入后响应超时")
                                                                     : tr("写入后响应校验错误"),
                            poolError);
        else
            pool.release(mac, poolError);
        return;
    }
    MacUsageRecord record;
    record.MacAddr = mac;
    record.IsUsed = 1;
    record.Operator = operatorName; // as typed, not stripped
    if (!pool.confirm(mac, record, poolError)) {
        CustomWarningBox::showWarningBox(tr("MAC操作"), poolError);
        return;
    }
    CustomInfoBox::showInfoBox(tr("提示"), tr("设置成功！"));
    on_pushButton_refresh_clicked();
}
