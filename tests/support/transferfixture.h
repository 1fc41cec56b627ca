#pragma once

// The device page logged in to the module simulator over a pseudo-terminal,
// showing its file operations, with the file dialogs answered by the test.
// Shared by the transfer tests and the transfer benchmark.

#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/pagedriver.h"
#include "ui/device/sigledebug.h"

#include <QStringList>

#include <memory>

class TransferFixture
{
public:
    static const QString PASSWORD; // the module's login password (not the factory one)

    // Opens the port, logs in (with its refresh) and shows the file page.
    // False (with *problem) when any step fails.
    bool start(ModuleConfig config, QString *problem);
    ~TransferFixture();

    // What the file dialogs answer from now on.
    void answerFileDialogs(const QString &firmwareFile, const QString &logDirectory);

    // The lines of the log view, in order.
    QStringList logLines() const;
    // Every byte the page wrote since start() (or since clearToolBytes()).
    QByteArray toolBytes() const { return *written; }
    void clearToolBytes() { written->clear(); }
    // How often `unit` reached the module whole.
    int timesReceived(const QByteArray &unit) const;

    QPushButton *button(const char *name) const { return driver->button(name); }

    std::unique_ptr<ModuleModel> model;
    std::unique_ptr<PtyLink> link;
    std::unique_ptr<SigleDebug> page;
    std::unique_ptr<PageDriver> driver;

private:
    std::shared_ptr<QByteArray> written = std::make_shared<QByteArray>();
};
