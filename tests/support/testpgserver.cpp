#include "support/testpgserver.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <unistd.h>

namespace
{
constexpr int PORT = 5432; // the socket lies in the test's own folder
const QString SUPERUSER = QStringLiteral("postgres");

// The newest Debian server, or pg_config's idea of the binaries.
QString findBinDir()
{
    QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(),
              [&](const QString &a, const QString &b) { return numeric.compare(a, b) > 0; });
    for (const QString &version : versions) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(version);
        if (QFileInfo(bin + QStringLiteral("/postgres")).isExecutable())
            return bin;
    }
    QProcess config;
    config.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
    if (config.waitForFinished(10000) && config.exitCode() == 0) {
        const QString bin = QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed();
        if (QFileInfo(bin + QStringLiteral("/postgres")).isExecutable())
            return bin;
    }
    return QString();
}

bool asRoot()
{
    return ::geteuid() == 0;
}
} // namespace

TestPgServer::TestPgServer(const QString &database, const QStringList &settings)
    : binDir(findBinDir()), database(database)
{
    if (binDir.isEmpty()) {
        why = QStringLiteral("no PostgreSQL server binaries (install the postgresql package)");
        return;
    }
    if (!dir.isValid()) {
        why = QStringLiteral("no temporary folder");
        return;
    }
    if (asRoot()) {
        // The postgres user must reach the folder and own the data directory.
        QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther |
                                              QFile::ReadOther | QFile::ExeGroup);
        QProcess chown;
        chown.start(QStringLiteral("chown"), {QStringLiteral("-R"), SUPERUSER, dir.path()});
        if (!chown.waitForFinished(10000) || chown.exitCode() != 0) {
            why = QStringLiteral("cannot hand the folder to postgres");
            return;
        }
    }
    const QString data = dir.filePath(QStringLiteral("data"));
    QStringList options{QStringLiteral("-k"), dir.path(),
                        QStringLiteral("-c"), QStringLiteral("listen_addresses="),
                        QStringLiteral("-p"), QString::number(PORT)};
    for (const QString &setting : settings)
        options << QStringLiteral("-c") << setting;
    if (!runTool(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), data, QStringLiteral("-U"), SUPERUSER, QStringLiteral("-A"),
                  QStringLiteral("trust"), QStringLiteral("--no-locale"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--no-sync")}))
        return;
    if (!runTool(QStringLiteral("pg_ctl"),
                 {QStringLiteral("-D"), data, QStringLiteral("-w"), QStringLiteral("-t"),
                  QStringLiteral("120"), QStringLiteral("-l"), dir.filePath(QStringLiteral("log")),
                  QStringLiteral("-o"), options.join(QLatin1Char(' ')), QStringLiteral("start")}))
        return;
    started = true;
    runTool(QStringLiteral("createdb"),
            {QStringLiteral("-h"), dir.path(), QStringLiteral("-p"), QString::number(PORT),
             QStringLiteral("-U"), SUPERUSER, database});
}

TestPgServer::~TestPgServer()
{
    if (started)
        runTool(QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
                 QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
}

QString TestPgServer::url() const
{
    // Concatenated: the encoded folder holds "%2F", which arg() would take for a marker.
    return QStringLiteral("postgresql://") + SUPERUSER + QLatin1Char('@') +
           QString::fromUtf8(QUrl::toPercentEncoding(dir.path())) + QLatin1Char(':') +
           QString::number(PORT) + QLatin1Char('/') + database;
}

bool TestPgServer::runTool(const QString &tool, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir.path());
    const QString program = binDir + QLatin1Char('/') + tool;
    if (asRoot())
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), SUPERUSER, QStringLiteral("--"), program} +
                          arguments);
    else
        process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(5000);
        if (why.isEmpty())
            why = tool + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    return true;
}
