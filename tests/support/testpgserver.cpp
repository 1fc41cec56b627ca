#include "support/testpgserver.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <unistd.h>

namespace
{
const QString PORT = QStringLiteral("5432"); // the socket lies in the test's own folder
const QString SUPERUSER = QStringLiteral("postgres");

// The newest Debian server, or pg_config's idea of the binaries.
QString findBinDir()
{
    QStringList bins;
    for (const QFileInfo &version :
         QDir("/usr/lib/postgresql").entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        bins.prepend(version.filePath() + "/bin"); // entries come sorted by name
    QProcess config;
    config.start("pg_config", {"--bindir"});
    if (config.waitForFinished(10000) && config.exitCode() == 0)
        bins << QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed();
    for (const QString &bin : bins)
        if (QFileInfo(bin + "/postgres").isExecutable())
            return bin;
    return QString();
}
} // namespace

TestPgServer::TestPgServer(const QString &database) : binDir(findBinDir()), database(database)
{
    if (binDir.isEmpty() || !dir.isValid()) {
        why = "no PostgreSQL server binaries (install the postgresql package) or no folder";
        return;
    }
    if (::geteuid() == 0) { // the postgres user must reach the folder and own its files
        QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther);
        if (QProcess::execute("chown", {"-R", SUPERUSER, dir.path()}) != 0) {
            why = "cannot hand the folder to postgres";
            return;
        }
    }
    started = runTool("initdb", {"-D", dir.filePath("data"), "-U", SUPERUSER, "-A", "trust",
                                 "--no-locale", "-E", "UTF8", "--no-sync"}) &&
              start();
    if (started)
        runTool("createdb", {"-h", dir.path(), "-p", PORT, "-U", SUPERUSER, database});
}

bool TestPgServer::start()
{
    const QStringList options{"-k", dir.path(), "-c", "listen_addresses=", "-p", PORT};
    started = runTool("pg_ctl", {"-D", dir.filePath("data"), "-w", "-t", "120", "-l",
                                 dir.filePath("log"), "-o", options.join(' '), "start"});
    return started;
}

bool TestPgServer::stop()
{
    started = !runTool("pg_ctl", {"-D", dir.filePath("data"), "-m", "immediate", "-w", "stop"});
    return !started;
}

TestPgServer::~TestPgServer()
{
    if (started)
        runTool("pg_ctl", {"-D", dir.filePath("data"), "-m", "immediate", "-w", "stop"});
}

QString TestPgServer::url() const
{
    // Concatenated: the encoded folder holds "%2F", which arg() would take for a marker.
    return "postgresql://" + SUPERUSER + '@' + QUrl::toPercentEncoding(dir.path()) + ':' + PORT +
           '/' + database;
}

bool TestPgServer::runTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir.path());
    const QString program = binDir + '/' + tool;
    if (::geteuid() == 0)
        process.start("runuser", QStringList{"-u", SUPERUSER, "--", program} + arguments);
    else
        process.start(program, arguments);
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return true;
    process.kill();
    process.waitForFinished(5000);
    if (why.isEmpty())
        why = tool + ": " + QString::fromLocal8Bit(process.readAll());
    return false;
}
