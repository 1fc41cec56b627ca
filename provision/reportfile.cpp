#include "provision/reportfile.h"

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

ReportFile::~ReportFile()
{
    if (fd >= 0)
        ::close(fd);
}

bool ReportFile::open(const QString &path, QString *problem)
{
    const QByteArray name = QFile::encodeName(path);
    fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *problem = tr("无法写入报告%1：%2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool ReportFile::append(const QJsonObject &record)
{
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard<std::mutex> guard(lock);
    if (fd < 0)
        return false;
    ssize_t n = -1;
    do {
        n = ::write(fd, line.constData(), size_t(line.size()));
    } while (n < 0 && errno == EINTR);
    return n == line.size();
}
