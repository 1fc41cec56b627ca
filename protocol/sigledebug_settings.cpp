// Device page: the settings dialogs and the writes of the Wi-Fi SSID and
// password.
#include "protocol/sigledebug.h"

#include "base/logging.h"
#include "protocol/settingsfields.h"
#include "ui/boxes/custombox.h"
#include "ui/dialogs/setpassword.h"
#include "ui/dialogs/setssid.h"
#include "ui_sigledebug.h"

#include <QDebug>

// A modal dialog with a title bar that offers only the close button,
// released once it has closed.
void SigleDebug::showSettingsDialog(QDialog *dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                           Qt::WindowCloseButtonHint);
    dialog->setModal(true);
    dialog->show();
}

void SigleDebug::on_pushButton_encryption_clicked()
{
    auto *dialog = new SetPassword(ui->lineEdit_password->text(), ui->label_SSID->text(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &SetPassword::sendPassword, this, &SigleDebug::setPassword);
    wifiPasswordDialog = dialog;
    dialog->setDismissable(wifiDialogClosable); // modal, shown
}

void SigleDebug::on_pushButton_setSSID_clicked()
{
    auto *dialog = new SetSSID(ui->label_SSID->text(), ui->lineEdit_password->text(), this);
    connect(dialog, &SetSSID::sendNewSSID, this, &SigleDebug::setSSID);
    showSettingsDialog(dialog);
}

// Writes one settings field and reports a failure; true when the module
// accepted it, the success message being the caller's. The callers refuse
// input longer than its field, so nothing is cut here.
bool SigleDebug::writeSetting(SessionRequest request, const QByteArray &field,
                              const QString &timeoutText, const QString &checksumText)
{
    const QByteArray reply = exchange(request, buildSessionWriteRequest(request, field));
    switch (classifyReply(reply)) {
    case ReplyKind::Nothing:
        CustomWarningBox::showWarningBox(tr("提示"), timeoutText);
        return false;
    case ReplyKind::ErrorReply:
        handleErrorReply(errorCodeOf(reply), false);
        return false;
    case ReplyKind::ChecksumFailure:
        CustomWarningBox::showWarningBox(tr("提示"), checksumText);
        return false;
    case ReplyKind::Accepted:
        break;
    }
    return true;
}

void SigleDebug::setSSID(QString ssid)
{
    if (!ssidFits(ssid)) {
        CustomWarningBox::showWarningBox(tr("提示"), tr("SSID超过32个字节，无法设置！"));
        return;
    }
    const QByteArray encoded = encodeLocalText(ssid);
    qCDebug(lcProtocol).noquote() << "SSID_Value:" << hexUpper(encoded) << ssid;
    if (!writeSetting(SessionRequest::WriteSsid, encoded, tr("设置SSID响应超时！"),
                      tr("设置SSID响应校验错误！")))
        return;
    CustomInfoBox::showInfoBox(tr("提示"), tr("设置成功！"));
    on_pushButton_refresh_clicked();
}

void SigleDebug::setPassword(QString ps)
{
    if (!fitsTextField(ps, Registers::WIFI_PASSWORD_FIELD_BYTES)) {
        CustomWarningBox::showWarningBox(tr("提示"), tr("密码超过32个字节，无法设置！"));
        return;
    }
    if (!writeSetting(SessionRequest::WriteWifiPassword, encodeLocalText(ps),
                      tr("设置密码参数响应超时！"), tr("设置密码响应校验错误！")))
        return;
    // The shown password stays the old one until the next refresh.
    CustomInfoBox::showInfoBox(tr("提示"), tr("设置成功！"));
    wifiDialogClosable = true;
}
