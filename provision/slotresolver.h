#pragma once

// Which device each slot of a station stands for right now. A path is
// followed through its symbolic links on every call; a serial number is
// looked up among the adapters the system lists. Two slots on one device,
// or one serial number on two adapters, are refused by name; the other
// slots keep their devices.

#include "provision/stationfile.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QVector>

#include <functional>

// A serial adapter as the system lists it.
struct AdapterEntry {
    QString device; // such as /dev/ttyUSB0
    QString serialNumber;
};
using AdapterSource = std::function<QList<AdapterEntry>()>;

// The adapters QSerialPortInfo lists now; safe from any thread.
QList<AdapterEntry> systemAdapters();

struct SlotResolution {
    enum class State {
        Present, // `device` is the canonical path to open
        Absent,  // the port is not there (yet): the slot waits
        Refused, // `problem` names the slots or adapters in conflict
    };
    State state = State::Absent;
    QString device;
    QString problem;
};

class SlotResolver
{
    Q_DECLARE_TR_FUNCTIONS(SlotResolver)

public:
    // The resolutions of `slots`, in their order, against `adapters` (asked
    // only when a slot names a serial number).
    static QVector<SlotResolution> resolveAll(const QVector<StationSlot> &slotList,
                                              const AdapterSource &adapters);
};
