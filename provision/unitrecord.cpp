#include "provision/unitjob_p.h"

#include "protocol/deviceinfo.h"

namespace
{

QJsonObject versionsJson(const VersionInfo &version)
{
    return {{QStringLiteral("software"), version.software},
            {QStringLiteral("hardware"), version.hardware}};
}

} // namespace

QJsonObject deviceJson(const DeviceInfo &info, bool showSecrets)
{
    QJsonObject wifi{{QStringLiteral("ssid"), info.wifi.ssid},
                     {QStringLiteral("channel"), info.wifi.channel},
                     {QStringLiteral("bandWidth"), info.wifi.bandWidth},
                     {QStringLiteral("encryption"),
                      encryptionText(info.wifi.encryptionCode).value_or(QString())},
                     {QStringLiteral("ip"), formatDottedQuad(info.wifi.ip)},
                     {QStringLiteral("mask"), formatDottedQuad(info.wifi.mask)},
                     {QStringLiteral("mac"), formatMacColons(info.wifi.mac)}};
    if (showSecrets)
        wifi.insert(QStringLiteral("password"), info.wifi.password);
    return {
        {QStringLiteral("softwareVersion"), formatVersion(info.version.software)},
        {QStringLiteral("hardwareVersion"), formatVersion(info.version.hardware)},
        {QStringLiteral("rs485"),
         QJsonObject{{QStringLiteral("baudRate"), double(info.uart.baudRate)},
                     {QStringLiteral("dataBits"), info.uart.dataBits},
                     {QStringLiteral("stopBits"),
                      info.uart.stopBitCode == 2 ? 1.5 : double(info.uart.stopBitCode)},
                     {QStringLiteral("parity"), info.uart.parityCode < 5
                                                    ? QJsonValue(parityKey(info.uart.parityCode))
                                                    : QJsonValue()}}},
        {QStringLiteral("wifi"), wifi},
        {QStringLiteral("fe"), QJsonObject{{QStringLiteral("ip"), formatDottedQuad(info.fe.ip)},
                                           {QStringLiteral("mask"), formatDottedQuad(info.fe.mask)},
                                           {QStringLiteral("mac"), formatMacColons(info.fe.mac)}}}};
}

QJsonObject UnitJob::record() const
{
    QJsonObject record{
        {QStringLiteral("unitId"), unitId},
        {QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODate)},
        {QStringLiteral("startedAt"), startedAt.toString(Qt::ISODateWithMs)},
        {QStringLiteral("endedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("station"), plan.station},
        {QStringLiteral("slot"), plan.slot},
        {QStringLiteral("port"), outcome.port},
        {QStringLiteral("operator"), plan.operatorName},
        {QStringLiteral("toolVersion"), QStringLiteral(MAINT_VERSION)},
        {QStringLiteral("account"), plan.account},
        {QStringLiteral("steps"), steps},
        {QStringLiteral("ok"), outcome.ok()},
        {QStringLiteral("seconds"), qRound(clock.elapsed() / 10.0) / 100.0},
    };
    if (!outcome.ok()) {
        record.insert(QStringLiteral("error"), failureKey(outcome.failure));
        record.insert(QStringLiteral("failedStep"), currentStep);
        record.insert(QStringLiteral("message"), outcome.message);
    }
    if (haveInfo)
        record.insert(QStringLiteral("before"), versionsJson(info.version));
    if (haveAfter)
        record.insert(QStringLiteral("after"), versionsJson(after));
    if (!plan.recipeSha256.isEmpty())
        record.insert(QStringLiteral("recipeSha256"), plan.recipeSha256);
    for (const char *key : {"macsKept", "ssid", "loginPasswordChanged", "wifiPasswordChanged",
                            "upgradeOk", "logBytes"}) {
        const QString name = QString::fromLatin1(key);
        if (outcome.data.contains(name))
            record.insert(name, outcome.data.value(name));
    }
    for (const char *key : {"wifiMac", "feMac", "file", "digestOk"}) {
        const QString name = QString::fromLatin1(key);
        if (outcome.data.contains(name))
            record.insert(name == QLatin1String("file")       ? QStringLiteral("logFile")
                          : name == QLatin1String("digestOk") ? QStringLiteral("logDigestOk")
                                                              : name,
                          outcome.data.value(name));
    }
    if (plan.firmware)
        record.insert(QStringLiteral("firmwareSha256"),
                      QString::fromLatin1(plan.firmware->sha256.toHex()));
    return record;
}

// What the module holds after the run, and who ran it where: into the
// result, beside the command's own data.
void UnitJob::addResultFacts()
{
    QJsonObject &data = outcome.data;
    if (haveInfo) {
        data.insert(QStringLiteral("wifiMac"), formatMacColons(info.wifi.mac));
        data.insert(QStringLiteral("feMac"), formatMacColons(info.fe.mac));
    }
    if (!macsKept.isEmpty())
        data.insert(QStringLiteral("macsKept"), QJsonArray::fromStringList(macsKept));
    if (plan.ssid && steps.contains(QStringLiteral("ssid")))
        data.insert(QStringLiteral("ssid"), *plan.ssid);
    data.insert(QStringLiteral("loginPasswordChanged"), loginPasswordChanged);
    data.insert(QStringLiteral("wifiPasswordChanged"), wifiPasswordChanged);
    if (plan.firmware)
        data.insert(QStringLiteral("firmwareSha256"),
                    QString::fromLatin1(plan.firmware->sha256.toHex()));
    data.insert(QStringLiteral("operator"), plan.operatorName);
    data.insert(QStringLiteral("station"), plan.station);
    if (!plan.slot.isEmpty())
        data.insert(QStringLiteral("slot"), plan.slot);
    if (!outcome.ok())
        data.insert(QStringLiteral("step"), currentStep);
}
