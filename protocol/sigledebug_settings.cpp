// Device page: the settings dialogs and the writes of the Wi-Fi SSID and
// password.
#include "protocol/sigledebug.h"

#include "base/logging.h"
#include "ui/boxes/custombox.h"
#include "ui/dialogs/setpassword.h"
#include "ui/dialogs/setssid.h"
#include "ui_sigledebug.h"

#include <QDebug>

namespace
{

// A modal dialog with a title bar that offers only the close button.
void showSettingsDialog(QDialog *dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                           Qt::WindowCloseButtonHint);
    dialog->setModal(true);
    dialog->show();
}

} // namespace

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

// Writes one settings field and reports the outcome; true when the module
// accepted it. Text longer than its field is cut to the field's width.
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
    CustomInfoBox::showInfoBox(tr("提示"), tr("设置成功！"));
    return true;
}

void SigleDebug::setSSID(QString ssid)
{
    const QByteArray encoded = ssid.toLocal8Bit();
    qCDebug(lcProtocol).noquote() << "SSID_Value:" << hexUpper(encoded) << ssid;
    if (writeSetting(SessionRequest::WriteSsid, encoded, tr("设置SSID响应超时！"),
                     tr("设置SSID响应校验错误！")))
        on_pushButton_refresh_clicked();
}

void SigleDebug::setPassword(QString ps)
{
    // The shown password stays the old one until the next refresh.
    if (writeSetting(SessionRequest::WriteWifiPassword, ps.toLocal8Bit(),
                     tr("设置密码参数响应超时！"), tr("设置密码响应校验错误！")))
        wifiDialogClosable = true;
}
