#include "provision/stationplan.h"

#include "provision/planinputs.h"
#include "provision/recipe.h"

#include <QCryptographicHash>
#include <QFile>

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
    if (!PlanInputs::readPasswords(file.passwordFile, file.newLoginPasswordFile,
                                   file.newWifiPasswordFile, plan, problem) ||
        !RecipeReader::load(file.recipe, &recipe, problem) ||
        !PlanInputs::applyRecipe(recipe, plan, problem))
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
