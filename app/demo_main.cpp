// The maintenance tool with a simulated module: the module stand-in runs in
// this process on a pseudo-terminal, which appears in the port list beside
// the workstation's real ports, so the whole tool can be tried without
// hardware. The simulated line runs at a real module's 230400 baud both
// ways, so transfers take as long as they do against a module.
//
// maintenance-demo --upgrade FILE starts straight into an upgrade of FILE:
// the module's passwords are already changed, the page opens the port, logs
// in and starts, and every request the module takes is printed on standard
// output, "<-" before a request and "->" before a reply. That shows the pace of a real line without
// a walk through the dialogs, and lets a script watch what the module receives.

#include "app/startup.h"
#include "protocol/frame.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "ui/device/filechoice.h"
#include "ui/device/sigledebug.h"
#include "ui/frame/framelesswidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <memory>

#include <cstdio>

namespace
{

constexpr int LINE_RATE = ModuleLine::BAUD_RATE;
// The passwords of an already set-up module, for --upgrade.
const char *const SET_UP_PASSWORD = "Demo_pass_1";
const char *const SET_UP_WIFI_PASSWORD = "Demo_wifi_1";

// "<-" a request the module took, "->" its reply.
void printTraffic(const char *direction, const QByteArray &bytes, const QString &meaning)
{
    std::printf("%s %s %s\n", direction, qPrintable(hexUpper(bytes.left(16))), qPrintable(meaning));
    std::fflush(stdout);
}

void clickButton(QWidget *window, const char *name)
{
    if (auto *button = window->findChild<QAbstractButton *>(QLatin1String(name)))
        button->click();
}

// Opens the preselected port and logs in; once the session's refresh has
// enabled the actions, chooses `file` and presses "开始", all through the
// page's own controls. The port and the login answer on the page's line in
// the order asked.
void startUpgrade(FramelessWidget *frame, const QString &file, const ModuleConfig &config)
{
    auto *page = frame->findChild<SigleDebug *>();
    FileChoice::setOverride([file](FileChoice::Kind) { return file; });
    auto started = std::make_shared<QMetaObject::Connection>();
    *started = QObject::connect(page, &SigleDebug::deviceActionsEnabled, frame, [=] {
        QObject::disconnect(*started);
        page->showOperateFile();
        clickButton(frame, "pushButton_scan");
        clickButton(frame, "pushButton_start");
    });
    clickButton(frame, "pushButton_Connect_2");
    page->writeLoginInfo(config.account, config.loginPassword);
}

} // namespace

int main(int argc, char *argv[])
{
    enableHighDpiScaling();
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const int upgradeAt = arguments.indexOf(QStringLiteral("--upgrade"));
    const QString upgradeFile = upgradeAt > 0 ? arguments.value(upgradeAt + 1) : QString();
    if (upgradeAt > 0 && upgradeFile.isEmpty()) {
        std::fprintf(stderr, "usage: maintenance-demo [--upgrade FILE]\n");
        return 2;
    }

    ModuleConfig config;
    if (!upgradeFile.isEmpty())
        config.loginPassword = QString::fromLatin1(SET_UP_PASSWORD);
    ModuleModel module(config);
    PtyLink link(&module);
    if (!link.isOpen()) {
        std::fprintf(stderr, "maintenance-demo: no pseudo-terminal for the simulated module: %s\n",
                     qPrintable(link.errorString()));
        return 1;
    }
    link.setLineRate(LINE_RATE);
    // The device page reads the port list once when it is built and selects
    // the simulated module's port in it.
    PortEnumeration::addExtraPort(link.slavePath());
    std::printf("Simulated module on serial port %s at %d baud (account \"%s\", password \"%s\")\n",
                qPrintable(link.slavePath()), LINE_RATE, qPrintable(config.account),
                qPrintable(config.loginPassword));
    std::fflush(stdout);

    if (upgradeFile.isEmpty())
        return runMaintenanceTool(app, link.slavePath());
    module.setWifiPassword(QString::fromLatin1(SET_UP_WIFI_PASSWORD));
    QObject::connect(
        &module, &ModuleModel::requestTaken,
        [](const QByteArray &unit, const QString &meaning) { printTraffic("<-", unit, meaning); });
    QObject::connect(&module, &ModuleModel::replyMade,
                     [](const QByteArray &bytes, const QString &meaning) {
                         printTraffic("->", bytes, meaning);
                     });
    return runMaintenanceTool(app, link.slavePath(), [&](FramelessWidget *frame) {
        QTimer::singleShot(0, frame, [&, frame] { startUpgrade(frame, upgradeFile, config); });
    });
}
