#include "provision/stationplan.h"

#include "provision/recipe.h"
#include "provision/secrets.h"
#include "transfer/upgradejudge.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace
{

constexpr int MAX_SSID_BYTES = 32;

bool readPasswords(const StationFile &file, UnitPlan *plan, QString *problem)
{
    if (!Secrets::readFirstLine(file.passwordFile, &plan->password, problem))
        return false;
    if (!file.newLoginPasswordFile.isEmpty()) {
        if (!Secrets::readFirstLine(file.newLoginPasswordFile, &plan->newLoginPassword, problem))
            return false;
        *problem =
            Secrets::loginPasswordProblem(plan->newLoginPassword, plan->account, plan->password);
        if (!problem->isEmpty())
            return false;
    }
    if (!file.newWifiPasswordFile.isEmpty()) {
        if (!Secrets::readFirstLine(file.newWifiPasswordFile, &plan->newWifiPassword, problem))
            return false;
        *problem = Secrets::wifiPasswordProblem(plan->newWifiPassword, QString(), QString());
        if (!problem->isEmpty())
            return false;
    }
    return true;
}

bool setFirmware(const QString &path, UnitPlan *plan, QString *problem)
{
    if (checkFirmwareFile(path) != FirmwareRefusal::None) {
        *problem = StationPlan::tr("固件文件%1不可用").arg(path);
        return false;
    }
    auto image = std::make_shared<const FirmwareImage>(FirmwareImage::load(path));
    if (!image->isUsable()) {
        *problem = StationPlan::tr("无法读取固件文件%1").arg(path);
        return false;
    }
    plan->firmware = image;
    return true;
}

bool applyRecipe(const Recipe &recipe, UnitPlan *plan, QString *problem)
{
    if (recipe.ssid) {
        const int bytes = recipe.ssid->toLocal8Bit().size();
        if (bytes == 0 || bytes > MAX_SSID_BYTES) {
            *problem = StationPlan::tr("SSID需要1到%1字节").arg(MAX_SSID_BYTES);
            return false;
        }
        plan->ssid = recipe.ssid;
    }
    if (!recipe.wifiPasswordFile.isEmpty()) {
        if (!Secrets::readFirstLine(recipe.wifiPasswordFile, &plan->wifiPassword, problem))
            return false;
        *problem = Secrets::wifiPasswordProblem(plan->wifiPassword, QString(),
                                                plan->ssid.value_or(QString()));
        if (!problem->isEmpty())
            return false;
    }
    if (!recipe.firmware.isEmpty() && !setFirmware(recipe.firmware, plan, problem))
        return false;
    if (!recipe.pullLog.isEmpty()) {
        if (!QFileInfo(recipe.pullLog).isDir() ||
            ::access(QFile::encodeName(recipe.pullLog).constData(), W_OK | X_OK) != 0) {
            *problem = StationPlan::tr("日志目录%1不可写").arg(recipe.pullLog);
            return false;
        }
        plan->logDir = recipe.pullLog;
    }
    plan->poolWifiMac = recipe.wifiMac;
    plan->poolFeMac = recipe.feMac;
    plan->verify = recipe.verify;
    return true;
}

} // namespace

bool StationPlan::build(const StationFile &file, const QString &account, UnitPlan *plan,
                        QString *problem)
{
    plan->commandName = QStringLiteral("provision");
    plan->mode = UnitPlan::Mode::Provision;
    plan->showDevice = true;
    plan->logPerUnit = true;
    plan->account = account;
    plan->station = file.station;
    plan->poolUrl = file.pool;
    Recipe recipe;
    if (!readPasswords(file, plan, problem) || !RecipeReader::load(file.recipe, &recipe, problem) ||
        !applyRecipe(recipe, plan, problem))
        return false;
    plan->operatorName =
        !file.operatorName.isEmpty() ? file.operatorName : recipe.operatorName.trimmed();
    if ((plan->poolWifiMac || plan->poolFeMac) && plan->operatorName.isEmpty()) {
        *problem = tr("从地址池取MAC地址时必须给出操作员（工位或配方的operator）");
        return false;
    }
    return true;
}

QString StationPlan::shortDigest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex().left(8));
}
