#pragma once

// A PostgreSQL server of the test's own: initdb into a temporary folder, one
// Unix socket in that folder and no TCP port, run as the postgres user when
// the test runs as root (PostgreSQL refuses root). The server and its
// folder go away with the object.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class TestPgServer
{
public:
    // Starts the server with its default settings and creates `database`.
    explicit TestPgServer(const QString &database = QStringLiteral("macpool"));
    ~TestPgServer(); // not copyable, as its folder is not

    // Empty when the server runs, else what went wrong (missing binaries too).
    const QString &failure() const { return why; }
    // postgresql://postgres@<socket folder, percent-encoded>:PORT/<database>
    QString url() const;
    // Stops the server at once, as a crash would; start() or restart()
    // brings it back.
    bool stop();
    bool start();
    bool restart() { return start(); }

private:
    bool runTool(const QString &tool, const QStringList &arguments);

    QTemporaryDir dir;
    QString binDir;
    QString database;
    bool started = false;
    QString why;
};
