#include "ui/dialogs/setmac.h"

#include "base/macaddress.h"
#include "macpool/macpool.h"
#include "ui/dialogs/macformat.h"
#include "ui_setmac.h"

#include <QStringList>
#include <QSysInfo>

SetMac::SetMac(const QString &currentMac, QWidget *parent) : QDialog(parent), ui(new Ui::SetMac)
{
    ui->setupUi(this);
    ui->label_orMac->setText(currentMac);
}

SetMac::~SetMac()
{
    releaseClaim();
    delete ui;
}

void SetMac::releaseClaim()
{
    if (claimed.isEmpty())
        return;
    QString errorText;
    MacPool(localPoolUrl(), MacPool::processClaimer()).release(claimed, errorText);
    claimed.clear(); // a release that failed ends when the reservation expires
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

// Each click gives the address of the previous one back and claims the
// lowest free address again, so repeated clicks show the same address.
void SetMac::on_pushButton_getMac_clicked()
{
    releaseClaim();
    QString errorText;
    const QStringList free = MacPool(localPoolUrl(), MacPool::processClaimer())
                                 .claim(1, QSysInfo::machineHostName(), QString(), errorText);
    if (!errorText.isEmpty()) {
        showMessage(tr("数据库操作失败！")); // the address shown, if any, stays
        return;
    }
    if (!free.isEmpty()) {
        claimed = free.first();
        ui->lineEdit->setText(formatMac(claimed));
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
    // A group, broadcast or zero address never reaches a module.
    quint64 value = 0;
    if (parseStoredMac(mac, value) && !unicastProblem(value).isEmpty()) {
        showMessage(unicastProblem(value));
        return;
    }
    claimed.clear(); // the receiver confirms, releases or quarantines it
    accept();
    // The receiver may run a long exchange and release this dialog meanwhile:
    // nothing of it is touched after the emission.
    emit sendNewMac(mac);
}

void SetMac::on_pushButton_Cancel_clicked()
{
    reject();
}

void SetMac::reject()
{
    releaseClaim();
    QDialog::reject();
}
