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
    // Starts the server and creates database `database`; `settings` are
    // extra "name=value" server settings.
    explicit TestPgServer(const QString &database = QStringLiteral("macpool"),
                          const QStringList &settings = {});
    ~TestPgServer();
    TestPgServer(const TestPgServer &) = delete;
    TestPgServer &operator=(const TestPgServer &) = delete;

    // Empty when the server runs; otherwise what went wrong (no server
    // binaries counts as wrong).
    const QString &failure() const { return why; }
    // postgresql://postgres@<socket folder, percent-encoded>:PORT/<database>
    QString url() const;

private:
    // Runs a server binary (as postgres when root); false with its output in `why`.
    bool runTool(const QString &tool, const QStringList &arguments, int timeoutMs = 120000);

    QTemporaryDir dir;
    QString binDir;
    QString database;
    bool started = false;
    QString why;
};
