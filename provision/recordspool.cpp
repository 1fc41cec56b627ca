#include "provision/recordspool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{
QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    ssize_t n = -1;
    do {
        n = ::write(fd, bytes.constData(), size_t(bytes.size()));
    } while (n < 0 && errno == EINTR);
    return n == bytes.size();
}

// Closes the descriptor, which also drops a lock held on it.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

void syncFolder(const QString &path)
{
    Descriptor folder{::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (folder.fd >= 0)
        ::fsync(folder.fd);
}
} // namespace

QString RecordSpool::defaultPath()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base + QStringLiteral("/kb-r5530-maintenance/unit-records.spool");
}

int RecordSpool::lock(QString *problem) const
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    const QByteArray name = QFile::encodeName(file + QStringLiteral(".lock"));
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    int locked = -1;
    if (fd >= 0) {
        do {
            locked = ::flock(fd, LOCK_EX);
        } while (locked < 0 && errno == EINTR);
    }
    if (fd < 0 || locked < 0) {
        *problem = tr("无法锁定记录缓存%1：%2").arg(file, systemError());
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

bool RecordSpool::append(const QJsonObject &record, QString *problem)
{
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    Descriptor guard{lock(problem)};
    if (guard.fd < 0)
        return false;
    Descriptor spool{::open(QFile::encodeName(file).constData(),
                            O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600)};
    if (spool.fd < 0 || !writeAll(spool.fd, line) || ::fsync(spool.fd) != 0) {
        *problem = tr("无法写入记录缓存%1：%2").arg(file, systemError());
        return false;
    }
    syncFolder(file);
    return true;
}

int RecordSpool::count() const
{
    QFile spool(file);
    if (!spool.open(QIODevice::ReadOnly))
        return 0;
    return int(spool.readAll().count('\n'));
}

bool RecordSpool::drain(const std::function<bool(const QList<QJsonObject> &)> &upload,
                        QString *problem)
{
    Descriptor guard{lock(problem)};
    if (guard.fd < 0)
        return false;
    QFile spool(file);
    if (!spool.exists())
        return true;
    if (!spool.open(QIODevice::ReadOnly)) {
        *problem = tr("无法读取记录缓存%1").arg(file);
        return false;
    }
    QList<QJsonObject> records;
    QList<QByteArray> kept;
    for (const QByteArray &line : spool.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (document.isObject())
            records << document.object();
        else
            kept << line; // never thrown away unread
    }
    if (!records.isEmpty() && !upload(records)) {
        *problem = tr("记录缓存未能上传");
        return false;
    }
    return rewrite(kept, problem);
}

bool RecordSpool::rewrite(const QList<QByteArray> &kept, QString *problem) const
{
    if (kept.isEmpty()) {
        const bool gone = QFile::remove(file) || !QFile::exists(file);
        syncFolder(file);
        if (!gone)
            *problem = tr("无法清除记录缓存%1").arg(file);
        return gone;
    }
    const QString temporary = file + QStringLiteral(".tmp");
    Descriptor out{::open(QFile::encodeName(temporary).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)};
    QByteArray bytes;
    for (const QByteArray &line : kept)
        bytes += line + '\n';
    if (out.fd < 0 || !writeAll(out.fd, bytes) || ::fsync(out.fd) != 0 ||
        ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(file).constData()) !=
            0) {
        *problem = tr("无法改写记录缓存%1：%2").arg(file, systemError());
        return false;
    }
    syncFolder(file);
    return true;
}
