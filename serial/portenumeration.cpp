#include "serial/portenumeration.h"

#include <QSerialPortInfo>
#include <QStringList>

namespace
{

struct EnumerationState {
    QStringList extraPorts;
    std::function<QList<SerialPortEntry>()> override;
};

EnumerationState &state()
{
    static EnumerationState instance;
    return instance;
}

QList<SerialPortEntry> systemPorts()
{
    QList<SerialPortEntry> entries;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        entries.append({info.portName(), info.isBusy()});
    return entries;
}

} // namespace

namespace PortEnumeration
{

QList<SerialPortEntry> enumerate()
{
    if (state().override)
        return state().override();
    QList<SerialPortEntry> entries = systemPorts();
    for (const QString &path : qAsConst(state().extraPorts))
        entries.append({path, false});
    return entries;
}

void addExtraPort(const QString &path)
{
    if (!state().extraPorts.contains(path))
        state().extraPorts.append(path);
}

void removeExtraPort(const QString &path)
{
    state().extraPorts.removeAll(path);
}

void setOverride(std::function<QList<SerialPortEntry>()> enumerator)
{
    state().override = std::move(enumerator);
}

void reset()
{
    state().extraPorts.clear();
    state().override = nullptr;
}

} // namespace PortEnumeration
