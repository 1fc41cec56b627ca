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

#include <functional>
#include <memory>

class DeviceLine;
class HandleSerialPort;
class QFile;
class QProgressBar;
class QPushButton;
class Login;
class LoginSetings;
class SetPassword;
class QDialog;

namespace Ui
{
class SigleDebug;
}

// The device maintenance page. Every conversation with the module runs in
// the session engine on the page's line (DeviceLine), a thread of its own
// with the debug port; the page hands it steps and turns their events and
// outcomes into its texts, boxes and buttons, and switches between the login
// view and the device view as the session starts and ends. The GUI thread
// never waits for the module. The members are split across files by concern:
//   sigledebug.cpp          construction, views, connection, port list
//   sigledebug_exchange.cpp transfer states, the stop, error replies
//   sigledebug_login.cpp    login, credential change, default-password checks
//   sigledebug_info.cpp     the four device-information reads
//   sigledebug_settings.cpp settings dialogs and writes
//   sigledebug_upgrade.cpp  firmware upgrade
//   sigledebug_log.cpp      log upload
//   sigledebug_exit.cpp     ending them when the tool exits
class SigleDebug : public QWidget, private SessionObserver
{
    Q_OBJECT

public:
    explicit SigleDebug(QWidget *parent = nullptr);
    ~SigleDebug() override;

    // For tests and the demo launcher: the page's port list.
    HandleSerialPort *serialPortManager() const { return serialPort; }
    // The software version of the last refresh, decimal.
    QString currentSoftwareVersion() const { return softwareVersion; }
    // The debug port is open (from its opening's answer to "关闭").
    bool portIsOpen() const { return portOpen; }
    // Selects `port` in the port list while no port is open, so that only
    // "打开" remains to be pressed; false when the list does not hold it.
    bool selectPort(const QString &port);

    // An upgrade or a log pull is under way (its button reads "取消").
    bool transferRunning() const;
    // Stops a running transfer as the cancel button does: the running step
    // ends at its next wait and the stop exchange (CAN) follows on the line,
    // also when the page goes away before it ran. Nothing happens outside a
    // transfer.
    void abortTransfer();
    // Closes an open port as the "关闭" button does (the session view ends).
    void closePort();

    // Upper bound of the repeats after a read reply fails its checksum.
    static constexpr int MAX_CHECKSUM_REPEATS = Session::MAX_READ_REPEATS;

signals:
    void gotoOption();
    void loginTimeout();
    void enableEnter(bool isOK);
    // The device actions are enabled again after a refresh.
    void deviceActionsEnabled();
    // The module answered a transfer's stop exchange, or its time ran out.
    void stopAnswered();

public slots:
    void showOperateFile();
    void showDevInfo();
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

    void handleErrorReply(quint8 code, bool logMode);

    // Views and actions. A session view refreshes; `afterRefresh` runs once
    // the actions are enabled again.
    void setSessionView(bool loggedIn, std::function<void()> afterRefresh = {});
    void resetDeviceValues();
    void showWifiValues(const QString &ssid, const QString &password);
    void disableDeviceActions();
    void enableDeviceActions();
    void fallBackToClosedPort();
    void portOpened(const QString &name, bool opened);
    void closeLine();

    // Login.
    void login(const QString &id, const QString &key, bool aesOnly);
    void changeCredentials(const QString &id, const QString &key, bool aesOnly);
    void sendCredentials(SessionRequest request, const QString &id, const QString &key,
                         bool aesOnly);
    void showLoginResult(const CredentialResult &result);
    void showChangeResult(const CredentialResult &result);
    void forceLoginPasswordChange();
    void checkDefaultWifiPassword();

    // Device information.
    void refreshDevice(std::function<void()> afterRefresh);
    void showRefresh(const RefreshResult &result, const DeviceInfo &info);
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
    void settleMac(SessionRequest request, const QString &mac, const QString &operatorName,
                   const StepResult &written);
    // ---- end of MAC address writes --------------------------------------

    void appendLog(const QString &line);

    // ---- File transfer (transfer/sigledebug_*.cpp) -------------------------
private slots:
    void on_pushButton_scan_clicked();
    void on_pushButton_start_clicked();
    void on_pushButton_directory_clicked();
    void on_pushButton_getLog_clicked();

private:
    // Firmware upgrade.
    void refuseFirmware(const QString &warning);
    void showLoadingStart(const UpgradeResult &start);
    void sendImage();
    void cancelUpgrade();
    void returnUpgradeToIdle();
    void showUpgradeProgress(int blockIndex, qint64 bytesAcknowledged);
    void showUpgradeResult(const UpgradeResult &result);

    // Log upload.
    void showLogRequest(const LogRequestResult &reply);
    bool openLogFile(const QString &name);
    void pullLog();
    void stopLogUpload();
    void returnLogToIdle();
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

    // The module took the transfer: `running` reads "取消", `bar` shows.
    void showTransferRunning(QPushButton *running, QProgressBar *bar);
    // The stop exchange after the running step (once, however often asked):
    // on the module's ACK `stopped` runs; otherwise the transfer still shows
    // as running, a time-out writes `timeoutText`, and the page waits for
    // the module's own end.
    void requestStop(const QString &timeoutText, std::function<void()> stopped);
    void showStop(const StopResult &stop, const QString &timeoutText,
                  const std::function<void()> &stopped);
    // A transfer shows as running while no step waits: the engine waits for
    // the module's end signal until the next cancel.
    void awaitModuleEnd();
    // A transfer's button changed: unchecked, the running transfer ends.
    void onTransferToggled(bool checked);

    FirmwareImage firmware;         // the chosen file, read once; no blocks when none is usable
    std::unique_ptr<QFile> logFile; // written on the line while a pull runs
    QByteArray expectedLogDigest;
    qint32 expectedLogSize = 0;
    QString logDirectory; // the chosen directory, apart from the shown file path
    QElapsedTimer transferClock;
    TransferProgress upgradeProgress;
    int lastBlockSent = 0;
    TransferProgress logProgress;
    bool stopPending = false; // a stop exchange is on its way
    // ---- end of file transfer ----------------------------------------------

    Ui::SigleDebug *ui;
    HandleSerialPort *serialPort;
    Login *loginPanel = nullptr;

    CancelFlag transferCancel;
    std::unique_ptr<DeviceLine> line;
    bool portOpen = false;
    int openings =
        0; // counts the port's openings and closes; a late enable of an earlier one is dropped
    QString softwareVersion;
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
