#include "provision/planinputs.h"

#include "base/macaddress.h"
#include "macpool/macpool.h"
#include "provision/recipe.h"
#include "provision/secrets.h"
#include "transfer/upgradejudge.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int MAX_SSID_BYTES = 32; // Wi-Fi's limit

} // namespace

bool PlanInputs::readPasswords(const QString &loginFile, const QString &newLoginFile,
                               const QString &newWifiFile, UnitPlan *plan, QString *problem)
{
    if (!Secrets::readFirstLine(loginFile, &plan->password, problem))
        return false;
    if (!newLoginFile.isEmpty()) {
        if (!Secrets::readFirstLine(newLoginFile, &plan->newLoginPassword, problem))
            return false;
        *problem =
            Secrets::loginPasswordProblem(plan->newLoginPassword, plan->account, plan->password);
        if (!problem->isEmpty())
            return false;
    }
    if (!newWifiFile.isEmpty()) {
        if (!Secrets::readFirstLine(newWifiFile, &plan->newWifiPassword, problem))
            return false;
        *problem = Secrets::wifiPasswordProblem(plan->newWifiPassword, QString(), QString());
        if (!problem->isEmpty())
            return false;
    }
    return true;
}

bool PlanInputs::readWifiPassword(const QString &path, UnitPlan *plan, QString *problem)
{
    if (!Secrets::readFirstLine(path, &plan->wifiPassword, problem))
        return false;
    *problem =
        Secrets::wifiPasswordProblem(plan->wifiPassword, QString(), plan->ssid.value_or(QString()));
    return problem->isEmpty();
}

bool PlanInputs::setFirmware(const QString &path, UnitPlan *plan, QString *problem)
{
    *problem = PlanInputs::firmwareProblem(path);
    if (!problem->isEmpty())
        return false;
    auto image = std::make_shared<FirmwareImage>(FirmwareImage::load(path));
    if (!image->isUsable()) {
        *problem = PlanInputs::tr("无法读取固件文件%1").arg(path);
        return false;
    }
    plan->firmware = image;
    return true;
}

bool PlanInputs::applyRecipe(const Recipe &recipe, UnitPlan *plan, QString *problem)
{
    plan->recipeSha256 = recipe.sha256;
    if (recipe.ssid) {
        *problem = PlanInputs::ssidProblem(*recipe.ssid);
        if (!problem->isEmpty())
            return false;
        plan->ssid = recipe.ssid;
    }
    if (!recipe.wifiPasswordFile.isEmpty() &&
        !readWifiPassword(recipe.wifiPasswordFile, plan, problem))
        return false;
    if (!recipe.firmware.isEmpty() && !setFirmware(recipe.firmware, plan, problem))
        return false;
    if (!recipe.pullLog.isEmpty()) {
        *problem = PlanInputs::logDirectoryProblem(recipe.pullLog);
        if (!problem->isEmpty())
            return false;
        plan->logDir = recipe.pullLog;
    }
    plan->poolWifiMac = recipe.wifiMac;
    plan->poolFeMac = recipe.feMac;
    if (!recipe.operatorName.trimmed().isEmpty())
        plan->operatorName = recipe.operatorName;
    plan->verify = recipe.verify;
    plan->logPerUnit = true;
    return true;
}

QString PlanInputs::poolUrlProblem(const QString &url)
{
    MacPoolUrl parsed;
    QString why;
    if (!MacPoolUrl::parse(url, parsed, why))
        return why;
    return QString();
}

QString PlanInputs::firmwareProblem(const QString &path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return tr("固件文件%1不存在").arg(path);
    if (file.isDir())
        return tr("固件文件%1是目录").arg(path);
    if (!file.isFile())
        return tr("固件文件%1不是普通文件").arg(path);
    switch (checkFirmwareFile(path)) {
    case FirmwareRefusal::None:
        return QString();
    case FirmwareRefusal::Unreadable:
        return tr("无法读取固件文件%1").arg(path);
    case FirmwareRefusal::Empty:
        return tr("固件文件%1为空").arg(path);
    case FirmwareRefusal::TooLarge:
        return tr("固件文件%1超过31457280字节").arg(path);
    case FirmwareRefusal::NameTooLong:
        return tr("固件文件名超过64字节");
    }
    return QString();
}

QString PlanInputs::portsProblem(const QStringList &ports)
{
    QHash<QString, QString> seen; // device identity → the name it was first given as
    for (const QString &port : ports) {
        struct stat status {
        };
        const QString canonical = QFileInfo(port).canonicalFilePath();
        const bool known =
            !canonical.isEmpty() && ::stat(QFile::encodeName(canonical).constData(), &status) == 0;
        const QString identity = known && S_ISCHR(status.st_mode)
                                     ? QString::number(quint64(status.st_rdev))
                                     : (canonical.isEmpty() ? port : canonical);
        if (seen.contains(identity))
            return tr("串口%1与%2是同一个设备").arg(port, seen.value(identity));
        seen.insert(identity, port);
    }
    return QString();
}

QString PlanInputs::ssidProblem(const QString &ssid)
{
    if (ssid.isEmpty())
        return tr("SSID不能为空");
    if (ssid.contains(QChar(0)))
        return tr("SSID含有零字节");
    // Bytes that were not UTF-8 arrive as U+FFFD; a lone surrogate has no encoding.
    if (ssid.contains(QChar(QChar::ReplacementCharacter)))
        return tr("SSID不是有效的UTF-8文本");
    for (int i = 0; i < ssid.size(); ++i) {
        const bool paired =
            ssid[i].isHighSurrogate() && i + 1 < ssid.size() && ssid[i + 1].isLowSurrogate();
        if (paired)
            ++i;
        else if (ssid[i].isSurrogate())
            return tr("SSID含有无效的字符");
    }
    if (ssid.toLocal8Bit().size() > MAX_SSID_BYTES)
        return tr("SSID超过%1字节").arg(MAX_SSID_BYTES);
    return QString();
}

QString PlanInputs::logDirectoryProblem(const QString &path)
{
    const QFileInfo directory(path);
    if (!directory.isDir() ||
        ::access(QFile::encodeName(directory.absoluteFilePath()).constData(), W_OK | X_OK) != 0)
        return tr("日志目录%1不可写").arg(path);
    return QString();
}

QString PlanInputs::macProblem(const QString &text, QString *colon)
{
    quint64 value = 0;
    if (!parseStoredMac(text.trimmed(), value))
        return tr("MAC地址%1不是6个字节").arg(text);
    const QString notUnicast = unicastProblem(value);
    if (!notUnicast.isEmpty())
        return notUnicast;
    *colon = colonMac(value);
    return QString();
}
