// The maintenance tool with a simulated module: the module stand-in runs in
// this process on a pseudo-terminal, which appears in the port list beside
// the workstation's real ports, so the whole tool can be tried without
// hardware.

#include "app/startup.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    enableHighDpiScaling();
    QApplication app(argc, argv);

    const ModuleConfig config;
    ModuleModel module(config);
    PtyLink link(&module);
    if (!link.isOpen()) {
        std::fprintf(stderr, "maintenance-demo: no pseudo-terminal for the simulated module: %s\n",
                     qPrintable(link.errorString()));
        return 1;
    }
    // The device page reads the port list once when it is built and selects
    // the simulated module's port in it.
    PortEnumeration::addExtraPort(link.slavePath());
    std::printf("Simulated module on serial port %s (account \"%s\", factory password \"%s\")\n",
                qPrintable(link.slavePath()), qPrintable(config.account),
                qPrintable(config.factoryPassword));
    std::fflush(stdout);

    return runMaintenanceTool(app, link.slavePath());
}
