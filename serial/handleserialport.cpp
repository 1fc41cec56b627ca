#include "serial/handleserialport.h"

#include "base/logging.h"
#include "serial/portenumeration.h"
#include "serial/portnames.h"

#include <QDebug>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>

namespace
{

constexpr int STATUS_INTERVAL_MS = 300;
constexpr int REFRESH_INTERVAL_MS = 1000;

QStringList sortedPortNames(bool includeBusy)
{
    QStringList names;
    const QList<SerialPortEntry> entries = PortEnumeration::enumerate();
    for (const SerialPortEntry &entry : entries) {
        if (includeBusy || !entry.busy)
            names.append(entry.name);
    }
    std::sort(names.begin(), names.end(), portNameLess);
    return names;
}

template <typename Setting>
bool lookUp(const QList<QPair<QString, Setting>> &table, const QString &name, Setting *setting)
{
    for (const auto &entry : table) {
        if (entry.first == name) {
            *setting = entry.second;
            return true;
        }
    }
    return false;
}

} // namespace

HandleSerialPort::HandleSerialPort(QObject *parent)
    : QObject(parent), port(new QSerialPort), statusTimer(new QTimer(this)),
      refreshTimer(new QTimer(this))
{
    fillBaudRateTable();
    statusTimer->setInterval(STATUS_INTERVAL_MS);
    connect(statusTimer, &QTimer::timeout, this, &HandleSerialPort::reportStatus);
    portList = availablePortNames();
    connect(refreshTimer, &QTimer::timeout, this, &HandleSerialPort::UpdatePort);
    refreshTimer->setInterval(REFRESH_INTERVAL_MS);
}

void HandleSerialPort::watchPortList(bool on)
{
    if (on)
        refreshTimer->start();
    else
        refreshTimer->stop();
}

bool HandleSerialPort::applyLineSettings(const LineSettings &settings)
{
    const bool rate = settings.baudRate > 0 && port->setBaudRate(settings.baudRate);
    const bool parity = port->setParity(settings.parity);
    const bool stopBits = port->setStopBits(settings.stopBits);
    const bool dataBits = port->setDataBits(settings.dataBits);
    const bool flow = port->setFlowControl(settings.flowControl);
    return rate && parity && stopBits && dataBits && flow;
}

HandleSerialPort::~HandleSerialPort()
{
    closePort();
    delete port;
}

QStringList HandleSerialPort::availablePortNames()
{
    return sortedPortNames(false);
}

bool HandleSerialPort::openPort(const QString &name)
{
    if (port->isOpen())
        return name.isEmpty() || isSamePort(name);
    if (!name.isEmpty())
        port->setPortName(name);
    // Unique, and undone on failure: a second connection would deliver every
    // received chunk twice.
    connect(port, &QSerialPort::readyRead, this, &HandleSerialPort::onReadData,
            Qt::UniqueConnection);
    const bool opened = port->open(QIODevice::ReadWrite);
    emit serialPortStatus(statusWord());
    if (!opened) {
        disconnect(port, &QSerialPort::readyRead, this, &HandleSerialPort::onReadData);
        return false;
    }
    statusTimer->start();
    return true;
}

void HandleSerialPort::closePort()
{
    if (!port->isOpen())
        return;
    disconnect(port, &QSerialPort::readyRead, this, &HandleSerialPort::onReadData);
    port->close();
    statusTimer->stop();
}

bool HandleSerialPort::isOpen() const
{
    return port->isOpen();
}

bool HandleSerialPort::setBaudRate(const QString &text)
{
    auto known = baudRateTable.constFind(text);
    qint32 rate = 0;
    if (known != baudRateTable.constEnd()) {
        rate = known.value();
    } else {
        rate = text.toInt();
        baudRateTable.insert(text, rate);
    }
    if (rate <= 0)
        return false;
    return port->setBaudRate(rate, QSerialPort::AllDirections);
}

bool HandleSerialPort::setParity(const QString &name)
{
    QSerialPort::Parity parity = QSerialPort::NoParity;
    lookUp(PARITY_NAMES(), name, &parity);
    return port->setParity(parity);
}

bool HandleSerialPort::setFlowControl(const QString &name)
{
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    lookUp(FLOW_CONTROL_NAMES(), name, &flow);
    return port->setFlowControl(flow);
}

bool HandleSerialPort::setDataBits(const QString &name)
{
    QSerialPort::DataBits bits = QSerialPort::Data8;
    if (!lookUp(DATA_BITS_NAMES(), name, &bits))
        return false;
    return port->setDataBits(bits);
}

bool HandleSerialPort::setStopBits(const QString &name)
{
    QSerialPort::StopBits bits = QSerialPort::OneStop;
    if (!lookUp(STOP_BITS_NAMES(), name, &bits))
        return false;
    return port->setStopBits(bits);
}

qint64 HandleSerialPort::writeBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return 0;
    const qint64 written = port->write(bytes);
    if (written <= 0)
        emit writeError(port->errorString());
    return written;
}

uint HandleSerialPort::statusWord() const
{
    // Asking a closed port for its line signals would overwrite the reason
    // of a failed open with "not open".
    if (!port->isOpen())
        return 0;
    uint status = uint(port->pinoutSignals());
    if (port->isWritable())
        status |= 0x01;
    if (port->isReadable())
        status |= 0x02;
    return status;
}

void HandleSerialPort::onReadData()
{
    const QByteArray bytes = port->readAll();
    emit readyReadString(bytes, bytes.size());
}

void HandleSerialPort::UpdatePort()
{
    const QStringList names = sortedPortNames(true);
    // Only a change in the number of ports is reported.
    if (names.size() == portList.size())
        return;
    portList = names;
    emit updateComboBox(portList);
    qCDebug(lcSerial).noquote() << "串口列表更新：" << portList.join(QStringLiteral(", "));
}

void HandleSerialPort::reportStatus()
{
    emit serialPortStatus(statusWord());
}

void HandleSerialPort::fillBaudRateTable()
{
    for (const QString &text : STANDARD_BAUD_RATES())
        baudRateTable.insert(text, text.toInt());
}

bool HandleSerialPort::isSamePort(const QString &name) const
{
    // The library's own normalisation ("/dev/ttyS0" and "ttyS0" are one port).
    QSerialPort probe;
    probe.setPortName(name);
    return probe.portName() == port->portName();
}
