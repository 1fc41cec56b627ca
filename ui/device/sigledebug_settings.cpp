// Device page: the settings dialogs and the writes of the Wi-Fi SSID and
// password.
#include "ui/device/sigledebug.h"

#include "ui/boxes/custombox.h"
#include "ui/device/deviceline.h"
#include "ui/dialogs/setpassword.h"
#include "ui/dialogs/setssid.h"
#include "ui_sigledebug.h"

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
    auto *dialog = new SetPassword(wifiPassword, wifiSsid, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &SetPassword::sendPassword, this, &SigleDebug::setPassword);
    wifiPasswordDialog = dialog;
    dialog->setDismissable(wifiDialogClosable); // modal, shown
}

void SigleDebug::on_pushButton_setSSID_clicked()
{
    auto *dialog = new SetSSID(wifiSsid, wifiPassword, this);
    connect(dialog, &SetSSID::sendNewSSID, this, &SigleDebug::setSSID);
    showSettingsDialog(dialog);
}

namespace
{

// What a write says when it fails.
struct WriteTexts {
    const char *refused; // the input does not fit its field
    const char *timeout;
    const char *checksum;
};

const WriteTexts SSID_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "SSID超过32个字节，无法设置！"),
                               QT_TRANSLATE_NOOP("SigleDebug", "设置SSID响应超时！"),
                               QT_TRANSLATE_NOOP("SigleDebug", "设置SSID响应校验错误！")};
const WriteTexts PASSWORD_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "密码超过32个字节，无法设置！"),
                                   QT_TRANSLATE_NOOP("SigleDebug", "设置密码参数响应超时！"),
                                   QT_TRANSLATE_NOOP("SigleDebug", "设置密码响应校验错误！")};
const WriteTexts WIFI_MAC_TEXTS = {
    QT_TRANSLATE_NOOP("SigleDebug", "MAC地址格式错误，无法设置！"),
    QT_TRANSLATE_NOOP("SigleDebug", "设置WiFi的MAC地址响应超时！"),
    QT_TRANSLATE_NOOP("SigleDebug", "设置WiFi的MAC地址响应校验错误！")};
const WriteTexts FE_MAC_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "MAC地址格式错误，无法设置！"),
                                 QT_TRANSLATE_NOOP("SigleDebug", "设置FE的MAC地址响应超时！"),
                                 QT_TRANSLATE_NOOP("SigleDebug", "设置FE的MAC地址响应校验错误！")};

const WriteTexts &textsFor(SessionRequest request)
{
    switch (request) {
    case SessionRequest::WriteSsid:
        return SSID_TEXTS;
    case SessionRequest::WriteWifiPassword:
        return PASSWORD_TEXTS;
    case SessionRequest::WriteWifiMac:
        return WIFI_MAC_TEXTS;
    default:
        return FE_MAC_TEXTS;
    }
}

} // namespace

bool SigleDebug::settingWritten(SessionRequest request, const StepResult &result)
{
    const WriteTexts &texts = textsFor(request);
    const char *warning = nullptr;
    switch (result.outcome) {
    case StepOutcome::Done:
        return true;
    case StepOutcome::ErrorReply:
        handleErrorReply(result.errorCode, false);
        return false;
    case StepOutcome::Refused:
        warning = texts.refused;
        break;
    case StepOutcome::TimedOut:
    case StepOutcome::LinkLost: // the port list then closes the port
        warning = texts.timeout;
        break;
    case StepOutcome::ChecksumFailure:
        warning = texts.checksum;
        break;
    }
    CustomWarningBox::showWarningBox(tr("提示"), tr(warning));
    return false;
}

void SigleDebug::setSSID(QString ssid)
{
    line->run([ssid](ModuleSession &session) { return session.writeSsid(ssid); },
              [this](const StepResult &result) {
                  if (!settingWritten(SessionRequest::WriteSsid, result))
                      return;
                  CustomInfoBox::showInfoBox(tr("提示"), tr("设置成功！"));
                  on_pushButton_refresh_clicked();
              });
}

void SigleDebug::setPassword(QString ps)
{
    line->run([ps](ModuleSession &session) { return session.writeWifiPassword(ps); },
              [this, ps](const StepResult &result) {
                  if (!settingWritten(SessionRequest::WriteWifiPassword, result))
                      return;
                  showWifiValues(wifiSsid, ps); // the module holds the new one now
                  CustomInfoBox::showInfoBox(tr("提示"), tr("设置成功！"));
                  wifiDialogClosable = true;
              });
}
