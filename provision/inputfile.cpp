#include "provision/inputfile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

bool InputFile::read(const QString &path, const QString &what, QByteArray *bytes, QString *problem)
{
    QFile file;
    const QString shownName = path.isEmpty() ? tr("标准输入") : path;
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (!info.exists()) {
            *problem = tr("%1%2不存在").arg(what, shownName);
            return false;
        }
        if (!info.isFile()) {
            *problem = tr("%1%2不是普通文件").arg(what, shownName);
            return false;
        }
        if (info.size() > MAX_BYTES) {
            *problem = tr("%1%2超过%3字节").arg(what, shownName).arg(MAX_BYTES);
            return false;
        }
        file.setFileName(path);
    }
    const bool opened =
        path.isEmpty() ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!opened) {
        *problem = tr("无法读取%1%2").arg(what, shownName);
        return false;
    }
    *bytes = file.read(MAX_BYTES + 1);
    if (bytes->size() > MAX_BYTES) {
        *problem = tr("%1%2超过%3字节").arg(what, shownName).arg(MAX_BYTES);
        return false;
    }
    return true;
}

bool InputFile::jsonObject(const QByteArray &json, QJsonObject *object, QString *parseError)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *parseError = error.errorString();
        return false;
    }
    *object = document.object();
    return true;
}
