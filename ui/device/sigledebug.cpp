// Device page: construction, views, the connection controls and the port list.
#include "ui/device/sigledebug.h"

#include "resources/resources.h"
#include "serial/handleserialport.h"
#include "ui/boxes/custombox.h"
#include "ui/device/deviceline.h"
#include "ui/dialogs/login.h"
#include "ui_sigledebug.h"

#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QVBoxLayout>

namespace
{

const char *const PLACEHOLDER = "******";

} // namespace

SigleDebug::SigleDebug(QWidget *parent)
    : QWidget(parent), ui(new Ui::SigleDebug), serialPort(new HandleSerialPort(this))
{
    ui->setupUi(this);
    initMaintResources();
    SessionObserver *const events = this;
    line = std::make_unique<DeviceLine>(this, events, &transferCancel);
    connect(ui->pushButton_start, &QPushButton::toggled, this, &SigleDebug::onTransferToggled);
    connect(ui->pushButton_getLog, &QPushButton::toggled, this, &SigleDebug::onTransferToggled);
    ui->groupBox_3->hide();
    ui->groupBox_7->hide();
    ui->groupBox_8->hide();

    loginPanel = new Login(ui->widget);
    if (!ui->widget->layout())
        new QVBoxLayout(ui->widget);
    ui->widget->layout()->addWidget(loginPanel);
    connect(this, &SigleDebug::enableEnter, loginPanel, &Login::enterEnable);
    connect(loginPanel, &Login::isPass, this, &SigleDebug::writeLoginInfo);

    ui->label_eye->setPixmap(QPixmap(QStringLiteral(":/images/openEye.png")));
    ui->label_eye->installEventFilter(this);

    // The MAC writes and the operator field stay hidden for the page's life.
    ui->pushButton_setWifiMAC->hide();
    ui->label_4->hide();
    ui->lineEidt_op->hide();
    ui->pushButton_setFeMAC->hide();

    disableDeviceActions();
    ui->lineEdit_password->setEnabled(false);
    ui->label_eye->hide();
    ui->progressBar->hide();
    ui->progressBar_2->hide();
    ui->pushButton_tell->hide();
    ui->pushButton_getLog_2->hide();

    ui->comboBox_Com_2->addItems(HandleSerialPort::availablePortNames());
    portName = ui->comboBox_Com_2->currentText();
    connect(serialPort, &HandleSerialPort::updateComboBox, this, &SigleDebug::onPortListChanged);
    serialPort->watchPortList(true);
}

// A running transfer step ends at once; what was handed to the line (a stop,
// a logout, the close) still runs before the page's parts go.
SigleDebug::~SigleDebug()
{
    transferCancel.cancel();
    line.reset();
    delete ui;
}

void SigleDebug::showOperateFile()
{
    ui->groupBox_3->hide();
    ui->groupBox_7->hide();
    ui->groupBox_8->show();
}

void SigleDebug::showDevInfo()
{
    ui->groupBox_8->hide();
    ui->groupBox_3->show();
    ui->groupBox_7->show();
    ui->pushButton_refresh->click(); // does nothing while the button is disabled
}

void SigleDebug::setSessionView(bool loggedIn, std::function<void()> afterRefresh)
{
    if (loggedIn) {
        emit gotoOption();
        ui->widget->hide();
        ui->groupBox->hide();
        ui->groupBox_3->show();
        ui->groupBox_7->show();
        refreshDevice(std::move(afterRefresh));
        return;
    }
    ui->groupBox_3->hide();
    ui->groupBox_7->hide();
    ui->groupBox_8->hide();
    ui->groupBox->show();
    ui->widget->show();
    emit loginTimeout();
    emit enableEnter(true);
    loginPanel->focusAccount();
}

void SigleDebug::resetDeviceValues()
{
    const QString placeholder = QString::fromLatin1(PLACEHOLDER);
    for (QLabel *label : {ui->label_softVer, ui->label_hardVer, ui->label_baudrate,
                          ui->label_databit, ui->label_stopbit, ui->label_parity, ui->label_channel,
                          ui->label_bandwidth, ui->label_wifiIp, ui->label_wifiMask,
                          ui->label_FeMask, ui->label_FeIP, ui->label_feMac, ui->label_wifiMac})
        label->setText(placeholder);
    showWifiValues(placeholder, placeholder);
}

// The SSID and Wi-Fi password as shown, kept for the dialogs and the
// default-password check.
void SigleDebug::showWifiValues(const QString &ssid, const QString &password)
{
    wifiSsid = ssid;
    wifiPassword = password;
    ui->label_SSID->setText(ssid);
    ui->lineEdit_password->setText(password);
}

void SigleDebug::disableDeviceActions()
{
    resetDeviceValues();
    for (QPushButton *button :
         {ui->pushButton_setSSID, ui->pushButton_encryption, ui->pushButton_setFeMAC,
          ui->pushButton_setWifiMAC, ui->pushButton_refresh, ui->pushButton_start,
          ui->pushButton_tell, ui->pushButton_getLog, ui->pushButton_getLog_2, ui->pushButton_scan,
          ui->pushButton_directory})
        button->setEnabled(false);
    ui->pushButton_start->setText(tr("开始"));
    ui->pushButton_start->setChecked(false);
    ui->pushButton_getLog->setText(tr("请求"));
    ui->pushButton_getLog->setChecked(false);
    ui->textEdit->clear(); // the chosen file and directory stay
}

void SigleDebug::enableDeviceActions()
{
    for (QPushButton *button :
         {ui->pushButton_setSSID, ui->pushButton_encryption, ui->pushButton_setFeMAC,
          ui->pushButton_setWifiMAC, ui->pushButton_scan, ui->pushButton_directory,
          ui->pushButton_refresh})
        button->setEnabled(true);
    enableTransferStarts();
    emit deviceActionsEnabled();
}

// The port opens on the line; its answer comes back to portOpened().
void SigleDebug::on_pushButton_Connect_2_clicked()
{
    if (!ui->pushButton_Connect_2->isChecked()) {
        disableDeviceActions();
        emit enableEnter(false);
        ui->progressBar->hide();
        ui->progressBar_2->hide();
        closeLine();
        ui->pushButton_Connect_2->setText(tr("打开"));
        ui->comboBox_Com_2->setEnabled(true);
        ui->pushButton_loginSettings->setEnabled(false);
        return;
    }
    const QString name = ui->comboBox_Com_2->currentText();
    ui->pushButton_Connect_2->setEnabled(false); // until the line answers
    line->open(name, [this, name](bool opened) { portOpened(name, opened); });
}

void SigleDebug::portOpened(const QString &name, bool opened)
{
    ui->pushButton_Connect_2->setEnabled(true);
    if (!opened || !ui->pushButton_Connect_2->isChecked()) {
        if (opened) // the port went from the list meanwhile
            line->close();
        ui->pushButton_Connect_2->setChecked(false);
        if (!opened)
            CustomWarningBox::showWarningBox(tr("提示"), tr("请选择可用的调试串口！"));
        return;
    }
    portOpen = true;
    ++openings;
    portName = name;
    ui->comboBox_Com_2->setEnabled(false);
    ui->pushButton_Connect_2->setText(tr("关闭"));
    for (QPushButton *button : {ui->pushButton_refresh, ui->pushButton_loginSettings,
                                ui->pushButton_scan, ui->pushButton_directory})
        button->setEnabled(true);
    emit enableEnter(true);
    loginPanel->focusAccount();
    if (ui->widget->isHidden()) // a session is already open
        on_pushButton_refresh_clicked();
}

// A running transfer step ends at its next wait; the port closes after it.
void SigleDebug::closeLine()
{
    transferCancel.cancel();
    if (portOpen)
        line->close();
    portOpen = false;
    ++openings;
}

bool SigleDebug::selectPort(const QString &port)
{
    const int index = ui->comboBox_Com_2->findText(port);
    if (index < 0 || portOpen)
        return false;
    ui->comboBox_Com_2->setCurrentIndex(index);
    portName = port; // kept when the port list changes
    return true;
}

void SigleDebug::onPortListChanged(const QStringList &portNames)
{
    ui->comboBox_Com_2->clear();
    ui->comboBox_Com_2->addItems(portNames);
    const int remembered = portNames.indexOf(portName);
    if (remembered >= 0) {
        ui->comboBox_Com_2->setCurrentIndex(remembered);
        return;
    }
    fallBackToClosedPort();
}

// The port in use has gone: close it and return the controls to the closed
// state. A transfer in progress sees its unchecked button at its next poll.
void SigleDebug::fallBackToClosedPort()
{
    disableDeviceActions();
    ui->progressBar->hide();
    ui->progressBar_2->hide();
    closeLine();
    ui->comboBox_Com_2->setCurrentIndex(0);
    ui->comboBox_Com_2->setEnabled(true);
    ui->pushButton_Connect_2->setChecked(false);
    ui->pushButton_Connect_2->setText(tr("打开"));
    ui->pushButton_loginSettings->setEnabled(false);
    emit enableEnter(false);
}

void SigleDebug::on_pushButton_refresh_clicked()
{
    refreshDevice({});
}

// The logout goes out on the line; no reply is awaited.
void SigleDebug::on_pushButton_cancel_clicked()
{
    if (portOpen) // with the port closed there is nobody to tell
        line->send([](ModuleSession &session) { session.logout(); });
    setSessionView(false);
}

bool SigleDebug::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->label_eye) {
        if (event->type() == QEvent::Enter)
            ui->lineEdit_password->setEchoMode(QLineEdit::Normal);
        else if (event->type() == QEvent::Leave)
            ui->lineEdit_password->setEchoMode(QLineEdit::Password);
    }
    return QWidget::eventFilter(watched, event);
}

void SigleDebug::appendLog(const QString &line)
{
    ui->textEdit->append(line);
}
