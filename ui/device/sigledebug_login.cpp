// Device page: login, credential change and the checks that force factory
// passwords to be replaced.
#include "ui/device/sigledebug.h"

#include "ui/boxes/custombox.h"
#include "ui/device/deviceline.h"
#include "ui/dialogs/loginsetings.h"
#include "ui_sigledebug.h"

#include <QTimer>

namespace
{

// The module's factory-default password.
const char *const FACTORY_PASSWORD = ModuleLine::FACTORY_PASSWORD;

// What a login or a credential change says when it fails.
struct CredentialTexts {
    const char *timeout;
    const char *checksum;
    const char *refused; // the credential fields could not be made
};

const CredentialTexts LOGIN_TEXTS = {
    QT_TRANSLATE_NOOP("SigleDebug", "登录响应帧超时！"),
    QT_TRANSLATE_NOOP("SigleDebug", "登录响应帧校验错误！"),
    QT_TRANSLATE_NOOP("SigleDebug", "登录凭据生成失败，内存不足！")};
const CredentialTexts CHANGE_TEXTS = {
    QT_TRANSLATE_NOOP("SigleDebug", "修改登录密码响应帧超时！"),
    QT_TRANSLATE_NOOP("SigleDebug", "修改登录密码响应帧校验错误！"),
    QT_TRANSLATE_NOOP("SigleDebug", "登录凭据生成失败，内存不足！")};

// Shows a failed attempt's warning; false for an error reply, which the
// caller hands to handleErrorReply, and for success.
bool warnedFailure(const CredentialResult &result, const CredentialTexts &texts)
{
    const char *warning = result.outcome == StepOutcome::TimedOut          ? texts.timeout
                          : result.outcome == StepOutcome::ChecksumFailure ? texts.checksum
                          : result.outcome == StepOutcome::Refused         ? texts.refused
                                                                           : nullptr;
    if (warning)
        CustomWarningBox::showWarningBox(SigleDebug::tr("提示"), SigleDebug::tr(warning));
    return warning != nullptr;
}

} // namespace

// A derived-scheme login that the module refuses (any code but 0x16) is sent
// again under the older AES-only scheme by the engine; the enter button is
// then enabled once for each attempt, as each login attempt ends with it.
// The scheme follows the version of the last refresh, on the line.
void SigleDebug::writeLoginInfo(QString id, QString key)
{
    loginDialogClosable = true;
    wifiDialogClosable = true;
    wifiCheckAllowed = true;
    login(id, key, false);
}

void SigleDebug::writeLoginInfoAES(QString id, QString key)
{
    login(id, key, true);
}

void SigleDebug::login(const QString &id, const QString &key, bool aesOnly)
{
    loginId = id;
    loginKey = key;
    sendCredentials(SessionRequest::Login, id, key, aesOnly);
}

// The scheme follows the version of the last refresh, read on the line; the
// enter button is enabled once for each attempt the engine made.
void SigleDebug::sendCredentials(SessionRequest request, const QString &id, const QString &key,
                                 bool aesOnly)
{
    const bool change = request == SessionRequest::ChangeCredentials;
    line->run(
        [change, id, key, aesOnly](ModuleSession &session) {
            const bool aes = aesOnly || session.credentialScheme() == CredentialScheme::AesOnly;
            if (change)
                return aes ? session.changeCredentialsWith(id, key, CredentialScheme::AesOnly)
                           : session.changeCredentials(id, key);
            return aes ? session.loginWith(id, key, CredentialScheme::AesOnly)
                       : session.login(id, key);
        },
        [this, change](const CredentialResult &result) {
            if (change)
                showChangeResult(result);
            else
                showLoginResult(result);
            if (result.fellBack)
                emit enableEnter(true);
            emit enableEnter(true);
        });
}

void SigleDebug::showLoginResult(const CredentialResult &result)
{
    if (warnedFailure(result, LOGIN_TEXTS))
        return;
    if (result.outcome == StepOutcome::ErrorReply) {
        handleErrorReply(result.errorCode, false);
        return;
    }
    setSessionView(true, [this] { checkDefaultWifiPassword(); });
}

void SigleDebug::modifyLoginInfo(QString id, QString key)
{
    changeCredentials(id, key, false);
}

void SigleDebug::modifyLoginInfoAES(QString id, QString key)
{
    changeCredentials(id, key, true);
}

void SigleDebug::modifyLoginInfoOld(QString id, QString key)
{
    changeCredentials(id, key, true);
}

void SigleDebug::changeCredentials(const QString &id, const QString &key, bool aesOnly)
{
    sendCredentials(SessionRequest::ChangeCredentials, id, key, aesOnly);
}

void SigleDebug::showChangeResult(const CredentialResult &result)
{
    if (warnedFailure(result, CHANGE_TEXTS))
        return;
    if (result.outcome == StepOutcome::ErrorReply) {
        handleErrorReply(result.errorCode, false);
        return;
    }
    CustomInfoBox::showInfoBox(tr("提示"), tr("设置成功，请重新登录！"));
    setSessionView(false);
}

void SigleDebug::on_pushButton_loginSettings_clicked()
{
    auto *dialog = new LoginSetings(loginId, loginKey, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &LoginSetings::sendSettings, this, &SigleDebug::modifyLoginInfo);
    loginSettingsDialog = dialog;
    dialog->setDismissable(loginDialogClosable); // modal, shown
}

// The module answered the login with 0x16: the factory login password is in
// use. Open the session, then, once its refresh has shown, keep the
// technician in the login settings dialog, which cannot be dismissed, until
// a new password has been set.
void SigleDebug::forceLoginPasswordChange()
{
    loginDialogClosable = false;
    setSessionView(true, [this] {
        ui->pushButton_loginSettings->click();
        if (!loginSettingsDialog)
            return; // the button is disabled when the port has gone meanwhile
        QTimer::singleShot(0, this, [] {
            CustomWarningBoxTips::showTips(tr("提示"), tr("登陆密码为初始密码，需要修改！"),
                                           tr("提示：使用默认密码会存在密码暴露风险！"));
        });
    });
}

void SigleDebug::checkDefaultWifiPassword()
{
    if (wifiPassword != QLatin1String(FACTORY_PASSWORD) || !wifiCheckAllowed) {
        wifiDialogClosable = true;
        return;
    }
    wifiDialogClosable = false;
    on_pushButton_encryption_clicked();
    QTimer::singleShot(0, this, [] {
        CustomWarningBoxTipsTwo::showTips(tr("提示"), tr("Wifi密码为初始密码，需要修改！"),
                                          tr("提示：使用默认wifi密码会存在网络接口暴露风险！"));
    });
}
