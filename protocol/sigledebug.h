#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "protocol/frame.h"

class HandleSerialPort;
class Login;
class LoginSetings;
class SetPassword;
class QEventLoop;

namespace Ui
{
class SigleDebug;
}

// The device maintenance page. It owns the debug port, runs every
// request/reply exchange with the module on the GUI thread and switches
// between the login view and the device view as the session starts and ends.
// The members are split across files by concern:
//   sigledebug.cpp          construction, views, connection, port list
//   sigledebug_exchange.cpp receive buffer, exchanges and waits, error replies
//   sigledebug_login.cpp    login, credential change, default-password checks
//   sigledebug_info.cpp     the four device-information reads
//   sigledebug_settings.cpp settings dialogs and writes
class SigleDebug : public QWidget
{
    Q_OBJECT

public:
    explicit SigleDebug(QWidget *parent = nullptr);
    ~SigleDebug() override;

    // For tests and the demo launcher: the page's own port manager.
    HandleSerialPort *serialPortManager() const { return serialPort; }
    QString currentSoftwareVersion() const { return softwareVersion; }
    // Selects `port` in the port list while no port is open, so that only
    // "打开" remains to be pressed; false when the list does not hold it.
    bool selectPort(const QString &port);

    // Upper bound of the repeats after a read reply fails its checksum.
    static constexpr int MAX_CHECKSUM_REPEATS = 3;

signals:
    void gotoOption();
    void loginTimeout();
    void enableEnter(bool isOK);

public slots:
    void showOperateFile();
    void showDevInfo();
    void ReadBytes(QByteArray bytes, int size);
    void on_pushButton_cancel_clicked();

    void writeLoginInfo(QString id, QString key);
    void writeLoginInfoAES(QString id, QString key);
    void modifyLoginInfo(QString id, QString key);
    void modifyLoginInfoAES(QString id, QString key);
    void modifyLoginInfoOld(QString id, QString key);

    void setPassword(QString ps);
    void setSSID(QString ssid);

private slots:
    void on_pushButton_Connect_2_clicked();
    void on_pushButton_refresh_clicked();
    void on_pushButton_loginSettings_clicked();
    void on_pushButton_encryption_clicked();
    void on_pushButton_setSSID_clicked();
    void onPortListChanged(const QStringList &portNames);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Exchange engine.
    QByteArray exchange(SessionRequest request, const QByteArray &frame);
    void waitForReply(int threshold, int timeLimitMs);
    void waitWithEvents(int milliseconds);
    void handleErrorReply(quint8 code, bool logMode);

    // Views and actions.
    void setSessionView(bool loggedIn);
    void resetDeviceValues();
    void disableDeviceActions();
    void enableDeviceActions();
    void fallBackToClosedPort();

    // Login.
    bool aesSchemeApplies() const;
    void sendLogin(const QString &id, const QString &key, bool derivedScheme);
    void sendCredentialChange(const QString &id, const QString &key, bool derivedScheme);
    void forceLoginPasswordChange();
    void checkDefaultWifiPassword();

    // Device information.
    bool readVersionBlock();
    bool readUartBlock();
    bool readWifiBlock();
    bool readFeBlock();
    QByteArray readBlock(SessionRequest request, ReplyKind *outcome);

    // Settings writes.
    bool writeSetting(SessionRequest request, const QByteArray &field, const QString &timeoutText,
                      const QString &checksumText);

    bool transferRunning() const;
    void handleTransferEndSignal(char byte);
    void appendLog(const QString &line);

    Ui::SigleDebug *ui;
    HandleSerialPort *serialPort;
    Login *loginPanel = nullptr;

    QByteArray rxBuffer;
    QByteArray logRxBuffer;
    QString portName;
    QString loginId;
    QString loginKey;
    QString softwareVersion;
    bool wifiDialogClosable = true;
    bool loginDialogClosable = true;
    bool wifiCheckAllowed = true;
    QPointer<SetPassword> wifiPasswordDialog;
    QPointer<LoginSetings> loginSettingsDialog;

    // The wait in progress: it ends as soon as more than `waitThreshold`
    // bytes are in rxBuffer.
    QEventLoop *replyWait = nullptr;
    int waitThreshold = 0;
};
