// Device page: login, credential change and the checks that force factory
// passwords to be replaced.
#include "protocol/sigledebug.h"

#include "base/logging.h"
#include "crypto/credential.h"
#include "ui/boxes/custombox.h"
#include "ui/dialogs/loginsetings.h"
#include "ui_sigledebug.h"

#include <QDebug>
#include <QEventLoop>
#include <QTimer>

namespace
{

// The module's factory-default password.
const char *const FACTORY_PASSWORD = "Initpass_456";

CredentialScheme schemeOf(bool derived)
{
    return derived ? CredentialScheme::Derived : CredentialScheme::AesOnly;
}

void traceCiphertexts(const char *idPrefix, const char *keyPrefix, const QByteArray &data)
{
    const QByteArray id = data.left(CREDENTIAL_FIELD_LENGTH);
    const QByteArray key = data.mid(CREDENTIAL_FIELD_LENGTH);
    qCDebug(lcCrypto).noquote() << QString::fromUtf8(idPrefix) << hexUpper(id) << id.size();
    qCDebug(lcCrypto).noquote() << QString::fromUtf8(keyPrefix) << hexUpper(key) << key.size();
}

} // namespace

bool SigleDebug::aesSchemeApplies() const
{
    return credentialSchemeFor(softwareVersion) == CredentialScheme::AesOnly;
}

void SigleDebug::writeLoginInfo(QString id, QString key)
{
    loginDialogClosable = true;
    wifiDialogClosable = true;
    wifiCheckAllowed = true;
    if (aesSchemeApplies()) {
        writeLoginInfoAES(id, key);
        return;
    }
    loginId = id;
    loginKey = key;
    sendLogin(id, key, true);
    emit enableEnter(true);
}

void SigleDebug::writeLoginInfoAES(QString id, QString key)
{
    loginId = id;
    loginKey = key;
    sendLogin(id, key, false);
    emit enableEnter(true);
}

// Sends one login request and acts on the reply. A derived-scheme login that
// the module refuses (any code but 0x16) is tried again with the older
// AES-only scheme.
void SigleDebug::sendLogin(const QString &id, const QString &key, bool derivedScheme)
{
    const QByteArray data = credentialRequestData(id, key, schemeOf(derivedScheme));
    traceCiphertexts("id密文：", "key密文：", data);
    const QByteArray reply =
        exchange(SessionRequest::Login, buildSessionWriteRequest(SessionRequest::Login, data));
    switch (classifyReply(reply)) {
    case ReplyKind::Nothing:
        CustomWarningBox::showWarningBox(tr("提示"), tr("登录响应帧超时！"));
        break;
    case ReplyKind::ErrorReply: {
        const quint8 code = errorCodeOf(reply);
        if (derivedScheme && code != ErrorCode::DEFAULT_PASSWORD)
            writeLoginInfoAES(id, key);
        else
            handleErrorReply(code, false);
        break;
    }
    case ReplyKind::Accepted:
        setSessionView(true);
        checkDefaultWifiPassword();
        break;
    case ReplyKind::ChecksumFailure:
        CustomWarningBox::showWarningBox(tr("提示"), tr("登录响应帧校验错误！"));
        break;
    }
}

void SigleDebug::modifyLoginInfo(QString id, QString key)
{
    if (aesSchemeApplies()) {
        modifyLoginInfoAES(id, key);
        return;
    }
    sendCredentialChange(id, key, true);
    emit enableEnter(true);
}

void SigleDebug::modifyLoginInfoAES(QString id, QString key)
{
    sendCredentialChange(id, key, false);
    emit enableEnter(true);
}

void SigleDebug::modifyLoginInfoOld(QString id, QString key)
{
    modifyLoginInfoAES(id, key);
}

void SigleDebug::sendCredentialChange(const QString &id, const QString &key, bool derivedScheme)
{
    const QByteArray data = credentialRequestData(id, key, schemeOf(derivedScheme));
    traceCiphertexts("修改的id密文：", "修改的key密文：", data);
    const QByteArray reply =
        exchange(SessionRequest::ChangeCredentials,
                 buildSessionWriteRequest(SessionRequest::ChangeCredentials, data));
    switch (classifyReply(reply)) {
    case ReplyKind::Nothing:
        CustomWarningBox::showWarningBox(tr("提示"), tr("修改登录密码响应帧超时！"));
        break;
    case ReplyKind::ErrorReply:
        if (derivedScheme)
            modifyLoginInfoAES(id, key);
        else
            handleErrorReply(errorCodeOf(reply), false);
        break;
    case ReplyKind::Accepted:
        CustomInfoBox::showInfoBox(tr("提示"), tr("设置成功，请重新登录！"));
        setSessionView(false);
        break;
    case ReplyKind::ChecksumFailure:
        CustomWarningBox::showWarningBox(tr("提示"), tr("修改登录密码响应帧校验错误！"));
        break;
    }
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
// use. Open the session, then keep the technician in the login settings
// dialog, which cannot be dismissed, until a new password has been set.
void SigleDebug::forceLoginPasswordChange()
{
    loginDialogClosable = false;
    setSessionView(true);
    ui->pushButton_loginSettings->click();
    if (!loginSettingsDialog)
        return; // the button is disabled when the port has gone meanwhile
    QTimer::singleShot(0, this, [] {
        CustomWarningBoxTips::showTips(tr("提示"), tr("登陆密码为初始密码，需要修改！"),
                                       tr("提示：使用默认密码会存在密码暴露风险！"));
    });
    QEventLoop loop;
    connect(loginSettingsDialog, &QDialog::finished, &loop, &QEventLoop::quit);
    connect(loginSettingsDialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

void SigleDebug::checkDefaultWifiPassword()
{
    if (ui->lineEdit_password->text() != QLatin1String(FACTORY_PASSWORD) || !wifiCheckAllowed) {
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
