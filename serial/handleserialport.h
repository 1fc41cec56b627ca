#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>

class QTimer;

// The line settings of a port, as values. The defaults are the debug port's:
// 230400 baud, 8 data bits, no parity, 1 stop bit, no flow control.
struct LineSettings {
    qint32 baudRate = 230400;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
};

// Owns the debug serial port: lists the workstation's ports in natural order
// and, when asked to, keeps that list current; opens and configures the
// chosen port, writes byte arrays to it and republishes every chunk of
// received bytes. Knows nothing of frames. Used from one thread.
class HandleSerialPort : public QObject
{
    Q_OBJECT

public:
    explicit HandleSerialPort(QObject *parent = nullptr);
    ~HandleSerialPort() override;

    // Names of the ports that are not busy, in natural order (portNameLess).
    static QStringList availablePortNames();

    // Opens the port read-write, with name, or with the previous name when
    // name is empty. An open port answers true at once, without a signal,
    // when name is empty or names that same port; asked for another port
    // while open it answers false and leaves the open port as it is.
    // Otherwise emits serialPortStatus once, open or not, and returns
    // whether the port opened. Shows no message.
    bool openPort(const QString &name);
    // Closes the port and stops the status report; nothing when closed.
    void closePort();

    // Applies all line settings, in the order rate, parity, stop bits, data
    // bits, flow control; true when the library accepted every one. A rate
    // of 0 or less is refused.
    bool applyLineSettings(const LineSettings &settings);

    // Re-enumerates the ports every second (UpdatePort) while `on`; off at
    // construction. A page with a port list asks for it; a run without one
    // does not.
    void watchPortList(bool on);

    // The text forms of the settings, as a settings form names them.
    // Applies a rate given as decimal text to both directions. A text new to
    // this manager's table is added with its value (0 when it does not
    // convert). A rate of 0 or less is never applied and answers false, as
    // the library would refuse it on an open port and, stored on a closed
    // one, make the next open fail.
    bool setBaudRate(const QString &text);
    // Parity and flow control: a name outside the table selects none.
    bool setParity(const QString &name);
    bool setFlowControl(const QString &name);
    // Data and stop bits: a name outside the table is rejected with false and
    // the setting stays as it was.
    bool setDataBits(const QString &name);
    bool setStopBits(const QString &name);
    // The setters answer whether the library accepted the setting.

    // Hands bytes to the port's write buffer; the bytes leave once the event
    // loop runs. An empty array writes nothing and returns 0. Returns the
    // library's count unchanged; a count of 0 or less emits writeError.
    qint64 writeBytes(const QByteArray &bytes);

    // pinoutSignals() with 0x01 set when open for writing and 0x02 when open
    // for reading; 0 while closed.
    uint statusWord() const;

    // Read access for inspection (the applied settings, the port's name).
    QSerialPort *serialPort() const { return port; }
    bool isOpen() const;
    const QMap<QString, qint32> &baudRates() const { return baudRateTable; }
    // The port names last published (natural order).
    const QStringList &publishedPortNames() const { return portList; }

public slots:
    // Reads everything available and emits it as one readyReadString.
    void onReadData();
    // Re-enumerates all ports, busy ones too; publishes the sorted list
    // through updateComboBox when the number of ports has changed.
    void UpdatePort();

signals:
    void readyReadString(QByteArray bytes, int size);
    void serialPortStatus(uint status);
    void writeError(QString msg);
    void updateComboBox(QStringList portName);

private slots:
    void reportStatus();

private:
    void fillBaudRateTable();
    bool isSamePort(const QString &name) const;

    QSerialPort *port;
    QMap<QString, qint32> baudRateTable;
    QTimer *statusTimer;
    QTimer *refreshTimer;
    QStringList portList;
};
