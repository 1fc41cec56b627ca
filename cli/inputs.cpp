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

QString defaultOperator()
{
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("kbmaint") : user;
}

bool readOptionPasswords(const CliOptions &options, UnitPlan *plan, QString *problem)
{
    if (!options.passwordStdin && options.passwordFile.isEmpty()) {
        *problem = InputCheck::tr("请用--password-file或--password-stdin给出登录密码");
        return false;
    }
    return InputCheck::readPasswords(options.passwordStdin ? QString() : options.passwordFile,
                                     options.newLoginPasswordFile, options.newWifiPasswordFile,
                                     plan, problem);
}

bool preparePlanFromRecipe(const CliOptions &options, UnitPlan *plan, QString *problem)
{
    Recipe recipe;
    return RecipeReader::load(options.recipe, &recipe, problem) &&
           InputCheck::applyRecipe(recipe, plan, problem);
}

bool prepareCommand(const CliOptions &options, UnitPlan *plan, QString *problem)
{
    switch (options.command) {
    case Command::SetSsid:
        *problem = InputCheck::ssidProblem(options.ssid);
        plan->ssid = options.ssid;
        return problem->isEmpty();
    case Command::SetWifiPassword:
        return InputCheck::readWifiPassword(options.file, plan, problem);
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
        return InputCheck::setFirmware(options.file, plan, problem);
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
    if (!readOptionPasswords(options, plan, problem) || !prepareCommand(options, plan, problem) ||
        !checkPoolUse(options, *plan, problem))
        return false;
    if (plan->operatorName.isEmpty())
        plan->operatorName = defaultOperator();
    return true;
}
