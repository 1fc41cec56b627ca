#include "provision/unitjob_p.h"

#include "base/macaddress.h"
#include "protocol/deviceinfo.h"
#include "provision/claimsettlement.h"
#include "provision/macsupply.h"
#include "provision/steptexts.h"

#include <memory>

namespace
{

// The colon form of a pool text in any stored form.
QString colonForm(const QString &stored)
{
    quint64 value = 0;
    return parseStoredMac(stored, value) ? colonMac(value) : stored;
}

} // namespace

// Pool addresses: the module's own are read first (by the info step). An
// address the line already gave this module is kept; one the pool holds as
// free was written by someone else and is quarantined; then one claim for
// what is still wanted, and each address written under the journal.
bool UnitJob::writeMacs()
{
    QString wifi = plan.wifiMac;
    QString fe = plan.feMac;
    std::unique_ptr<MacSupply> supply;
    QStringList unwritten;
    if (plan.poolWifiMac || plan.poolFeMac) {
        supply = std::make_unique<MacSupply>(plan.poolUrl);
        QString problem;
        if (!supply->isOpen(&problem))
            return fail(Failure::PoolUnavailable, problem);
        bool keptWifi = false, keptFe = false;
        if ((plan.poolWifiMac && !keepHeldMac(true, supply.get(), &keptWifi)) ||
            (plan.poolFeMac && !keepHeldMac(false, supply.get(), &keptFe)))
            return false;
        const bool claimWifi = plan.poolWifiMac && !keptWifi;
        const bool claimFe = plan.poolFeMac && !keptFe;
        QStringList claimed;
        Failure failure = Failure::None;
        if ((claimWifi || claimFe) &&
            !supply->claim(int(claimWifi) + int(claimFe), plan.station, outcome.port,
                           plan.operatorName, plan.claimSeconds, &claimed, &failure, &problem))
            return fail(failure == Failure::None ? Failure::PoolUnavailable : failure, problem);
        if (claimWifi)
            wifi = colonForm(claimed.takeFirst());
        if (claimFe)
            fe = colonForm(claimed.takeFirst());
        unwritten << (claimWifi ? wifi : QString()) << (claimFe ? fe : QString());
    }
    const bool ok = (wifi.isEmpty() || writeMac(true, wifi, supply.get(), &unwritten)) &&
                    (fe.isEmpty() || writeMac(false, fe, supply.get(), &unwritten));
    // Addresses of the claim that never went out go back.
    for (const QString &mac : qAsConst(unwritten)) {
        if (!mac.isEmpty())
            supply->release(mac);
    }
    return ok;
}

// Read first: what the pool knows of the address the module holds. Sets
// *kept when the module keeps it (no claim, no write); false on a pool failure.
bool UnitJob::keepHeldMac(bool wifi, MacSupply *supply, bool *kept)
{
    *kept = false;
    const QString held = formatMacColons(wifi ? info.wifi.mac : info.fe.mac);
    quint64 value = 0;
    if (!haveInfo || !parseStoredMac(held, value) || !unicastProblem(value).isEmpty())
        return true;
    Failure failure = Failure::None;
    QString problem;
    const MacState state = supply->stateOf(held, &failure, &problem);
    if (failure != Failure::None)
        return fail(failure, problem);
    switch (state) {
    case MacState::Used:
    case MacState::Writing:
    case MacState::Unknown:
        if (plan.reassign) {
            if (!supply->markSeenOnModule(held, plan.station, outcome.port, plan.operatorName,
                                          &failure, &problem) ||
                !supply->markReplaced(held, &failure, &problem))
                return fail(failure == Failure::None ? Failure::PoolUnavailable : failure, problem);
            return true;
        }
        if (!supply->markSeenOnModule(held, plan.station, outcome.port, plan.operatorName, &failure,
                                      &problem))
            return fail(failure == Failure::None ? Failure::PoolUnavailable : failure, problem);
        *kept = true;
        macsKept << (wifi ? QStringLiteral("wifi") : QStringLiteral("fe"));
        outcome.data.insert(wifi ? QStringLiteral("wifiMac") : QStringLiteral("feMac"), held);
        return true;
    case MacState::Free:
    case MacState::Reserved:
        supply->quarantine(held, tr("出现在模块上"));
        return true;
    case MacState::NotInPool:
    case MacState::Quarantined:
        return true;
    }
    return true;
}

bool UnitJob::writeMac(bool wifi, const QString &mac, MacSupply *supply, QStringList *unwritten)
{
    const SessionRequest request = wifi ? SessionRequest::WriteWifiMac : SessionRequest::WriteFeMac;
    currentStep = wifi ? QStringLiteral("wifi-mac") : QStringLiteral("fe-mac");
    if (supply && unwritten->contains(mac)) {
        Failure failure = Failure::None;
        QString problem;
        // The writing state is committed before the request goes out.
        if (!supply->beginWrite(mac, &failure, &problem))
            return fail(failure == Failure::None ? Failure::PoolUnavailable : failure, problem);
    }
    const bool fromPool = unwritten->removeAll(mac) > 0;
    const StepResult result = wifi ? session->writeWifiMac(mac) : session->writeFeMac(mac);
    if (result.ok()) {
        // The module holds it now, whatever the pool says next.
        outcome.data.insert(wifi ? QStringLiteral("wifiMac") : QStringLiteral("feMac"), mac);
        (wifi ? info.wifi.mac : info.fe.mac) =
            QByteArray::fromHex(QString(mac).remove(':').toLatin1());
    }
    if (fromPool && !settleMac(request, mac, result, supply))
        return false;
    if (!result.ok())
        return failStep(request, result);
    stepDone(currentStep);
    return true;
}

// The claim's end by the write's outcome.
bool UnitJob::settleMac(SessionRequest request, const QString &mac, const StepResult &result,
                        MacSupply *supply)
{
    Failure failure = Failure::None;
    QString problem;
    switch (settlementOf(result)) {
    case ClaimSettlement::Confirm:
        if (!supply->confirm(mac, plan.operatorName, &failure, &problem))
            return fail(failure == Failure::None ? Failure::PoolUnavailable : failure, problem);
        return true;
    case ClaimSettlement::Release:
        supply->release(mac);
        return true;
    case ClaimSettlement::Quarantine:
        supply->quarantine(mac, StepTexts::message(request, result));
        return true;
    }
    return true;
}
