#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "protocol/frame.h"
#include "session/modulesession.h"
#include "transfer/firmwareimage.h"
#include "transfer/transferprogress.h"

#include <QElapsedTimer>
#include <QList>

#include <memory>

class HandleSerialPort;
class QAbstractButton;
class QFile;
class Login;
class LoginSetings;
class SetPassword;
class QDialog;
class QEventLoop;
class SigleDebugLink;

namespace Ui
{
class SigleDebug;
}

// The device maintenance page. It owns the debug port, runs every
// request/reply exchange with the module on the GUI thread and switches
// between the login view and the device view as the session starts and ends.
// Every conversation runs in the session engine (ModuleSession) over the
// page's link; the page maps the outcomes to its texts, boxes and buttons.
// The members are split across files by concern:
//   sigledebug.cpp          construction, views, connection, port list
//   sigledebug_exchange.cpp receive buffer, engine events, error replies
//   sigledebug_link.cpp     the engine's link: port writes, nested waits
//   sigledebug_login.cpp    login, credential change, default-password checks
//   sigledebug_info.cpp     the four device-information reads
//   sigledebug_settings.cpp settings dialogs and writes
//   transfer/sigledebug_upgrade.cpp      firmware upgrade
//   transfer/sigledebug_log.cpp          log upload
//   transfer/sigledebug_exit.cpp         ending them when the tool exits
class SigleDebug : public QWidget, private SessionObserver
{
    Q_OBJECT

public:
    explicit SigleDebug(QWidget *parent = nullptr);
    ~SigleDebug() override;

    // For tests and the demo launcher: the page's own port manager.
    HandleSerialPort *serialPortManager() const { return serialPort; }
    QString currentSoftwareVersion() const { return session->softwareVersion(); }
    // Selects `port` in the port list while no port is open, so that only
    // "打开" remains to be pressed; false when the list does not hold it.
    bool selectPort(const QString &port);

    // An upgrade or a log pull is under way (its button reads "取消").
    bool transferRunning() const;
    // Stops a running transfer as the cancel button does, stop exchange
    // (CAN) included; the transfer may still run when the module did not
    // confirm the stop. Nothing happens outside a transfer.
    void abortTransfer();
    // Closes an open port as the "关闭" button does (the session view ends).
    void closePort();

    // Upper bound of the repeats after a read reply fails its checksum.
    static constexpr int MAX_CHECKSUM_REPEATS = Session::MAX_READ_REPEATS;

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
    // The engine's events.
    void readRepeated(SessionRequest request, int repeat) override;
    void blockSent(int index, int count, int resend, qint64 bytesAcknowledged) override;
    void imageSent(qint64 bytes) override;
    void logPassEmpty() override;
    void logBlockWritten(qint64 written, qint64 progress) override;

    void waitWithEvents(int milliseconds);
    void handleErrorReply(quint8 code, bool logMode);

    // Views and actions.
    void setSessionView(bool loggedIn);
    void resetDeviceValues();
    void showWifiValues(const QString &ssid, const QString &password);
    void disableDeviceActions();
    void enableDeviceActions();
    void fallBackToClosedPort();

    // Login.
    bool aesSchemeApplies() const;
    void showLoginResult(const CredentialResult &result);
    void showChangeResult(const CredentialResult &result);
    void forceLoginPasswordChange();
    void checkDefaultWifiPassword();

    // Device information.
    void refreshDevice();
    void showVersionBlock(const VersionInfo &info);
    void showUartBlock(const UartInfo &info);
    void showWifiBlock(const WifiInfo &info);
    void showFeBlock(const FeInfo &info);
    bool readSucceeded(SessionRequest request, const StepResult &result);

    // Settings writes: true when the module accepted the value; a failure
    // has been shown.
    bool settingWritten(SessionRequest request, const StepResult &result);
    static void showSettingsDialog(QDialog *dialog);

    // ---- MAC address writes (sigledebug_mac.cpp) ------------------------
    // The buttons and the operator field stay hidden: the writes are reached
    // through these slots. A write needs an operator name and a text that
    // decodes to six bytes. The address comes claimed from the MAC dialog;
    // the pool confirms it once the module accepted it, takes it back when
    // nothing was sent or the module refused it, and quarantines it when
    // the outcome is unknown (no reply, or a garbled one).
public slots:
    void setWifiMac(QString mac);
    void setFeMac(QString mac);

private slots:
    void on_pushButton_setWifiMAC_clicked();
    void on_pushButton_setFeMAC_clicked();

private:
    void writeMac(SessionRequest request, const QString &mac);
    // ---- end of MAC address writes --------------------------------------

    void appendLog(const QString &line);

    // ---- File transfer (transfer/sigledebug_*.cpp) -------------------------
private slots:
    void on_pushButton_scan_clicked();
    void on_pushButton_start_clicked();
    void on_pushButton_tell_clicked();
    void on_pushButton_directory_clicked();
    void on_pushButton_getLog_clicked();
    void on_pushButton_getLog_2_clicked();

private:
    // Firmware upgrade.
    void refuseFirmware(const QString &warning);
    bool startLoading();
    bool stopLoading();
    void cancelUpgrade();
    void returnUpgradeToIdle();
    void showUpgradeProgress(int blockIndex, qint64 bytesAcknowledged);
    void showUpgradeResult(const UpgradeResult &result);

    // Log upload.
    bool requestLog();
    bool openLogFile(const QString &name);
    bool cancelLog();
    void stopLogUpload();
    void showLogResult(const LogPullResult &result);
    // The module ended a transfer (the engine has answered it with ACK): the
    // transfer buttons back to idle, the end's line in the log view.
    void tellOver(bool complete);
    // Idle: "开始" while a firmware file is chosen, "请求" while a directory is.
    void enableTransferStarts();
    void finishLogUpload(bool complete, bool digestMatches);
    void showLogComplete();
    void verifyLogDigest(const QString &path, bool matches);
    void closeLogFile();

    bool runsTransferStep() const;
    // Sends CAN and judges the answer: true when the module confirms the stop
    // with ACK; a time-out writes `timeoutText` to the log view.
    bool sendStop(const QString &timeoutText);
    // A transfer's button changed: unchecked, the running transfer ends.
    void onTransferToggled(bool checked);

    FirmwareImage firmware; // the chosen file, read once; no blocks when none is usable
    QFile *logFile = nullptr;
    QByteArray expectedLogDigest;
    qint32 expectedLogSize = 0;
    QString logDirectory; // the chosen directory, apart from the shown file path
    QElapsedTimer transferClock;
    TransferProgress upgradeProgress;
    int lastBlockSent = 0;
    TransferProgress logProgress;
    int transferStepDepth = 0; // sendImage() or pullLog() is on the stack
    // ---- end of file transfer ----------------------------------------------

    Ui::SigleDebug *ui;
    HandleSerialPort *serialPort;
    Login *loginPanel = nullptr;

    std::unique_ptr<SigleDebugLink> link;
    CancelFlag transferCancel;
    std::unique_ptr<ModuleSession> session;
    QString portName;
    QString loginId;
    QString loginKey;
    QString wifiSsid;     // as shown: read from the module, or the placeholder
    QString wifiPassword; // as shown: read, written, or the placeholder
    bool wifiDialogClosable = true;
    bool loginDialogClosable = true;
    bool wifiCheckAllowed = true;
    QPointer<SetPassword> wifiPasswordDialog;
    QPointer<LoginSetings> loginSettingsDialog;
};
