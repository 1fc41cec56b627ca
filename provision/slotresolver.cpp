#include "provision/slotresolver.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

#include <sys/stat.h>

namespace
{

SlotResolution byPath(const QString &path)
{
    SlotResolution resolution;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty()) {
        resolution.state = SlotResolution::State::Present;
        resolution.device = canonical;
    }
    return resolution;
}

SlotResolution bySerial(const QString &serial, const QList<AdapterEntry> &adapters)
{
    QStringList devices;
    for (const AdapterEntry &adapter : adapters) {
        if (adapter.serialNumber == serial)
            devices.append(adapter.device);
    }
    if (devices.size() == 1)
        return byPath(devices.first());
    SlotResolution resolution;
    if (devices.size() > 1) {
        resolution.state = SlotResolution::State::Refused;
        resolution.problem =
            SlotResolver::tr("序列号%1同时属于%2").arg(serial, devices.join(QStringLiteral("、")));
    }
    return resolution;
}

// One device: the same canonical path, or the same character device number.
bool sameDevice(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    struct stat sa = {};
    struct stat sb = {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && S_ISCHR(sa.st_mode) &&
           S_ISCHR(sb.st_mode) && sa.st_rdev == sb.st_rdev;
}

bool needsAdapters(const QVector<StationSlot> &slotList)
{
    for (const StationSlot &slot : slotList) {
        if (!slot.serial.isEmpty())
            return true;
    }
    return false;
}

} // namespace

QList<AdapterEntry> systemAdapters()
{
    QList<AdapterEntry> list;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        list.append({info.systemLocation(), info.serialNumber()});
    return list;
}

QVector<SlotResolution> SlotResolver::resolveAll(const QVector<StationSlot> &slotList,
                                                 const AdapterSource &adapters)
{
    const QList<AdapterEntry> listed =
        needsAdapters(slotList) && adapters ? adapters() : QList<AdapterEntry>();
    QVector<SlotResolution> all;
    for (const StationSlot &slot : slotList)
        all.append(slot.port.isEmpty() ? bySerial(slot.serial, listed) : byPath(slot.port));
    for (int i = 0; i < all.size(); ++i) {
        for (int j = 0; j < all.size(); ++j) {
            if (i == j || all[j].device.isEmpty() || all[i].device.isEmpty() ||
                !sameDevice(all[i].device, all[j].device))
                continue;
            all[i].problem =
                tr("槽位%1与%2指向同一设备%3")
                    .arg(slotList[qMin(i, j)].name, slotList[qMax(i, j)].name, all[i].device);
            all[i].state = SlotResolution::State::Refused;
        }
    }
    for (SlotResolution &resolution : all) {
        if (resolution.state == SlotResolution::State::Refused)
            resolution.device.clear();
    }
    return all;
}
