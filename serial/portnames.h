#pragma once

#include <QList>
#include <QPair>
#include <QSerialPort>
#include <QString>
#include <QStringList>

// Constant tables of the serial line settings the tool offers, by the texts
// the device page passes in. Built on first use, read-only afterwards.

// The 21 standard baud-rate texts, slowest first.
const QStringList &STANDARD_BAUD_RATES();

using ParityName = QPair<QString, QSerialPort::Parity>;
using DataBitsName = QPair<QString, QSerialPort::DataBits>;
using StopBitsName = QPair<QString, QSerialPort::StopBits>;
using FlowControlName = QPair<QString, QSerialPort::FlowControl>;

const QList<ParityName> &PARITY_NAMES();
const QList<DataBitsName> &DATA_BITS_NAMES();
const QList<StopBitsName> &STOP_BITS_NAMES();
const QList<FlowControlName> &FLOW_CONTROL_NAMES();

// Natural order of port names: the shorter name (in UTF-16 units) first; at
// equal length, the smaller number formed by all decimal digits of the name.
// A digit text that is empty, overflows a signed 32-bit integer or holds a
// non-ASCII decimal digit counts as 0. Names of equal length and number are
// equivalent. A strict weak ordering, usable with std::sort.
bool portNameLess(const QString &a, const QString &b);
