#include "cli/inputs.h"

#include "base/macaddress.h"
#include "macpool/macpool.h"
#include "protocol/frame.h"
#include "provision/recipe.h"
#include "provision/secrets.h"
#include "transfer/upgradejudge.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <QHash>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int MAX_SSID_BYTES = 32; // Wi-Fi's limit

QString defaultOperator()
{
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("kbmaint") : user;
}

bool readPasswords(const CliOptions &options, UnitPlan *plan, QString *problem)
{
    if (!options.passwordStdin && options.passwordFile.isEmpty()) {
        *problem = InputCheck::tr("请用--password-file或--password-stdin给出登录密码");
        return false;
    }
    if (!Secrets::readFirstLine(options.passwordStdin ? QString() : options.passwordFile,
                                &plan->password, problem))
        return false;
    if (!options.newLoginPasswordFile.isEmpty()) {
        if (!Secrets::readFirstLine(options.newLoginPasswordFile, &plan->newLoginPassword, problem))
            return false;
        *problem =
            Secrets::loginPasswordProblem(plan->newLoginPassword, plan->account, plan->password);
        if (!problem->isEmpty())
            return false;
    }
    if (!options.newWifiPasswordFile.isEmpty()) {
        if (!Secrets::readFirstLine(options.newWifiPasswordFile, &plan->newWifiPassword, problem))
            return false;
        *problem = Secrets::wifiPasswordProblem(plan->newWifiPassword, QString(), QString());
        if (!problem->isEmpty())
            return false;
    }
    return true;
}

bool readWifiPassword(const QString &path, UnitPlan *plan, QString *problem)
{
    if (!Secrets::readFirstLine(path, &plan->wifiPassword, problem))
        return false;
    *problem =
        Secrets::wifiPasswordProblem(plan->wifiPassword, QString(), plan->ssid.value_or(QString()));
    return problem->isEmpty();
}

bool setFirmware(const QString &path, UnitPlan *plan, QString *problem)
{
    *problem = InputCheck::firmwareProblem(path);
    if (!problem->isEmpty())
        return false;
    auto image = std::make_shared<FirmwareImage>(FirmwareImage::load(path));
    if (!image->isUsable()) {
        *problem = InputCheck::tr("无法读取固件文件%1").arg(path);
        return false;
    }
    plan->firmware = image;
    return true;
}

bool preparePlanFromRecipe(const CliOptions &options, UnitPlan *plan, QString *problem)
{
    Recipe recipe;
    if (!RecipeReader::load(options.recipe, &recipe, problem))
        return false;
    plan->recipeSha256 = recipe.sha256;
    if (recipe.ssid) {
        *problem = InputCheck::ssidProblem(*recipe.ssid);
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
        *problem = InputCheck::logDirectoryProblem(recipe.pullLog);
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

bool prepareCommand(const CliOptions &options, UnitPlan *plan, QString *problem)
{
    switch (options.command) {
    case Command::SetSsid:
        *problem = InputCheck::ssidProblem(options.ssid);
        plan->ssid = options.ssid;
        return problem->isEmpty();
    case Command::SetWifiPassword:
        return readWifiPassword(options.file, plan, problem);
    case Command::SetLoginPassword:
        if (!Secrets::readFirstLine(options.file, &plan->loginPassword, problem))
            return false;
        *problem =
            Secrets::loginPasswordProblem(plan->loginPassword, plan->account, plan->password);
        return problem->isEmpty();
    case Command::WriteMac:
        if (options.wifiMac.isEmpty() && options.feMac.isEmpty() && !options.fromPool) {
            *problem = InputCheck::tr("请给出--wifi、--fe或--from-pool");
            return false;
        }
        plan->poolWifiMac = plan->poolFeMac = options.fromPool;
        if (!options.wifiMac.isEmpty())
            *problem = InputCheck::macProblem(options.wifiMac, &plan->wifiMac);
        if (problem->isEmpty() && !options.feMac.isEmpty())
            *problem = InputCheck::macProblem(options.feMac, &plan->feMac);
        return problem->isEmpty();
    case Command::Upgrade:
        return setFirmware(options.file, plan, problem);
    case Command::PullLog:
        *problem = InputCheck::logDirectoryProblem(options.directory);
        plan->logDir = QFileInfo(options.directory).absoluteFilePath();
        plan->logPerUnit = options.ports.size() > 1;
        return problem->isEmpty();
    case Command::Provision:
        return preparePlanFromRecipe(options, plan, problem);
    default:
        return true;
    }
}

// A plan that takes addresses from the pool needs a pool URL without a
// password and an operator given on purpose (--operator or the recipe's).
bool checkPoolUse(const CliOptions &options, const UnitPlan &plan, QString *problem)
{
    if (!options.poolUrl.isEmpty()) {
        *problem = InputCheck::poolUrlProblem(options.poolUrl);
        if (!problem->isEmpty())
            return false;
    }
    if (!plan.poolWifiMac && !plan.poolFeMac)
        return true;
    if (plan.operatorName.trimmed().isEmpty()) {
        *problem =
            InputCheck::tr("从地址池取MAC地址时必须给出操作员（--operator或配方的operator）");
        return false;
    }
    return true;
}

} // namespace

bool InputCheck::preparePlan(const CliOptions &options, UnitPlan *plan, QString *problem)
{
    if (options.ports.isEmpty() && !(options.command == Command::Provision && options.watch)) {
        *problem = tr("请用--port指定串口");
        return false;
    }
    *problem = portsProblem(options.ports);
    if (!problem->isEmpty())
        return false;
    plan->reassign = options.reassign;
    plan->commandName = commandName(options.command);
    plan->mode =
        options.command == Command::Provision ? UnitPlan::Mode::Provision : UnitPlan::Mode::Single;
    plan->showDevice = options.command == Command::Info || options.command == Command::Provision;
    plan->account = options.account;
    plan->showSecrets = options.showSecrets;
    plan->operatorName = options.operatorName.trimmed();
    plan->poolUrl = options.poolUrl;
    plan->claimSeconds = options.claimSeconds;
    plan->station = QSysInfo::machineHostName();
    if (!readPasswords(options, plan, problem) || !prepareCommand(options, plan, problem) ||
        !checkPoolUse(options, *plan, problem))
        return false;
    if (plan->operatorName.isEmpty())
        plan->operatorName = defaultOperator();
    return true;
}

QString InputCheck::poolUrlProblem(const QString &url)
{
    MacPoolUrl parsed;
    QString why;
    if (!MacPoolUrl::parse(url, parsed, why))
        return why;
    return QString();
}

QString InputCheck::firmwareProblem(const QString &path)
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

QString InputCheck::portsProblem(const QStringList &ports)
{
    QHash<QString, QString> seen; // device identity → the name it was first given as
    for (const QString &port : ports) {
        struct stat status {};
        const QString canonical = QFileInfo(port).canonicalFilePath();
        const bool known = !canonical.isEmpty() &&
                           ::stat(QFile::encodeName(canonical).constData(), &status) == 0;
        const QString identity =
            known && S_ISCHR(status.st_mode) ? QString::number(quint64(status.st_rdev))
                                             : (canonical.isEmpty() ? port : canonical);
        if (seen.contains(identity))
            return tr("串口%1与%2是同一个设备").arg(port, seen.value(identity));
        seen.insert(identity, port);
    }
    return QString();
}

QString InputCheck::ssidProblem(const QString &ssid)
{
    if (ssid.isEmpty())
        return tr("SSID不能为空");
    if (ssid.contains(QChar(0)))
        return tr("SSID含有零字节");
    // Bytes that were not UTF-8 arrive as U+FFFD; a lone surrogate has no encoding.
    if (ssid.contains(QChar(QChar::ReplacementCharacter)))
        return tr("SSID不是有效的UTF-8文本");
    for (int i = 0; i < ssid.size(); ++i) {
        const bool paired = ssid[i].isHighSurrogate() && i + 1 < ssid.size() &&
                            ssid[i + 1].isLowSurrogate();
        if (paired)
            ++i;
        else if (ssid[i].isSurrogate())
            return tr("SSID含有无效的字符");
    }
    if (ssid.toLocal8Bit().size() > MAX_SSID_BYTES)
        return tr("SSID超过%1字节").arg(MAX_SSID_BYTES);
    return QString();
}

QString InputCheck::logDirectoryProblem(const QString &path)
{
    const QFileInfo directory(path);
    if (!directory.isDir() ||
        ::access(QFile::encodeName(directory.absoluteFilePath()).constData(), W_OK | X_OK) != 0)
        return tr("日志目录%1不可写").arg(path);
    return QString();
}

QString InputCheck::macProblem(const QString &text, QString *colon)
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
