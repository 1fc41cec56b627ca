#include "provision/secrets.h"

#include "base/passwordstrength.h"
#include "protocol/frame.h"
#include "provision/inputfile.h"

#include <QFile>

namespace
{

constexpr int MAX_LOGIN_PASSWORD_LENGTH = 16; // the login settings dialog's field

} // namespace

bool Secrets::readFirstLine(const QString &path, QString *secret, QString *problem)
{
    const QString shownName = path.isEmpty() ? tr("标准输入") : path;
    QByteArray bytes;
    if (!InputFile::read(path, tr("密码文件"), &bytes, problem))
        return false;
    QByteArray line = bytes.left(bytes.indexOf('\n') + 1);
    if (line.isEmpty())
        line = bytes;
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty()) {
        *problem = tr("密码文件%1的第一行为空").arg(shownName);
        return false;
    }
    *secret = QString::fromUtf8(line);
    return true;
}

QString Secrets::loginPasswordProblem(const QString &password, const QString &account,
                                      const QString &old)
{
    if (password.size() < kMinPasswordLength)
        return tr("新登录密码少于8位");
    if (password.size() > MAX_LOGIN_PASSWORD_LENGTH)
        return tr("新登录密码多于16位");
    if (!isPasswordStrongEnough(password))
        return tr("新登录密码强度太弱，请使用更复杂的密码");
    if (password == account)
        return tr("新登录密码与账号重复");
    if (password == old)
        return tr("新登录密码与旧密码重复");
    return QString();
}

QString Secrets::wifiPasswordProblem(const QString &password, const QString &old,
                                     const QString &ssid)
{
    if (password.size() < kMinPasswordLength)
        return tr("新Wifi密码少于8位");
    if (password.toLocal8Bit().size() > Registers::WIFI_PASSWORD_FIELD_BYTES)
        return tr("新Wifi密码超过32字节");
    if (!isPasswordStrongEnough(password))
        return tr("新Wifi密码强度太弱，请使用更复杂的密码");
    if (!old.isEmpty() && password == old)
        return tr("新Wifi密码与旧密码重复");
    if (!ssid.isEmpty() && password == ssid)
        return tr("新Wifi密码与SSID重复");
    return QString();
}
