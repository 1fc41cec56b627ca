#include "support/transferfixture.h"

#include "serial/portenumeration.h"
#include "ui/device/filechoice.h"

#include <QTextEdit>

const QString TransferFixture::PASSWORD = QStringLiteral("Secret_789x");

bool TransferFixture::start(ModuleConfig config, QString *problem)
{
    config.loginPassword = PASSWORD;
    model = std::make_unique<ModuleModel>(config);
    model->setWifiPassword(QStringLiteral("Wifi_pass_1")); // no default-password dialog
    link = std::make_unique<PtyLink>(model.get());
    if (!link->isOpen())
        return *problem = link->errorString(), false;
    auto bytes = written;
    QObject::connect(link.get(), &PtyLink::toolBytesArrived,
                     [bytes](const QByteArray &piece) { bytes->append(piece); });
    PortEnumeration::addExtraPort(link->slavePath());
    page = std::make_unique<SigleDebug>();
    driver = std::make_unique<PageDriver>(page.get());
    page->show();
    if (!driver->openPort(link->slavePath()))
        return *problem = QStringLiteral("port did not open"), false;
    driver->login(config.account, PASSWORD);
    if (!driver->inDeviceView())
        return *problem = QStringLiteral("login failed: ") + PageDriver::warningText(), false;
    page->showOperateFile();
    written->clear();
    return true;
}

TransferFixture::~TransferFixture()
{
    page.reset();
    driver.reset();
    link.reset();
    model.reset();
    FileChoice::setOverride(nullptr);
    PortEnumeration::reset();
    PageDriver::hideBoxes();
}

void TransferFixture::answerFileDialogs(const QString &firmwareFile, const QString &logDirectory)
{
    FileChoice::setOverride([firmwareFile, logDirectory](FileChoice::Kind kind) {
        return kind == FileChoice::Kind::FirmwareFile ? firmwareFile : logDirectory;
    });
}

QStringList TransferFixture::logLines() const
{
    const QString text = driver->widget<QTextEdit>("textEdit")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

int TransferFixture::timesReceived(const QByteArray &unit) const
{
    return int(model->receivedFrames().count(unit));
}
