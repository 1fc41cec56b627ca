#pragma once

#include <QList>
#include <QString>

#include <functional>

// One serial port as the enumeration reports it.
struct SerialPortEntry {
    QString name; // as passed to QSerialPort::setPortName(), e.g. "ttyUSB0" or "/dev/pts/3"
    bool busy = false;
};

// The single place where the serial-port manager learns which ports exist.
// By default it lists the workstation's ports as the serial-port library sees
// them. Pseudo-terminals are not listed by the library but open like any
// port, so a simulated module (demo launcher, tests) adds its pty path here.
// Meant for the GUI thread only.
namespace PortEnumeration
{

// The ports known now: the override's result when one is set; otherwise
// QSerialPortInfo::availablePorts() (portName(), isBusy()) followed by the
// extra ports, which never count as busy.
QList<SerialPortEntry> enumerate();

// Appends path to the listed ports; a path already added is not doubled.
void addExtraPort(const QString &path);
void removeExtraPort(const QString &path);

// Replaces the whole enumeration (extra ports included) by enumerator; an
// empty function restores the default.
void setOverride(std::function<QList<SerialPortEntry>()> enumerator);

// Drops the extra ports and the override.
void reset();

} // namespace PortEnumeration
