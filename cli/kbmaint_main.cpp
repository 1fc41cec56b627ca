// kbmaint: the module's maintenance from the command line, several modules
// at once. See kbmaint --help and the kbmaint(1) manual page.

#include "cli/cli.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kbmaint"));
    return kbmaintMain(argc, argv);
}
