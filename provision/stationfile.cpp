#include "provision/stationfile.h"

#include "provision/inputfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

namespace
{

QString resolved(const QString &folder, const QString &path)
{
    return QDir::cleanPath(QDir(folder).absoluteFilePath(path));
}

// A local pool file named relative to the station file counts from its folder.
QString resolvedPool(const QString &folder, const QString &url)
{
    const QLatin1String scheme("sqlite:");
    if (!url.startsWith(scheme) || QDir::isAbsolutePath(url.mid(scheme.size())))
        return url;
    return scheme + resolved(folder, url.mid(scheme.size()));
}

struct TextKey {
    const char *key;
    QString StationFile::*field;
    bool path;      // resolved against the folder
    bool mustExist; // a file that must be there now
};

const TextKey TEXT_KEYS[] = {
    {"station", &StationFile::station, false, false},
    {"operator", &StationFile::operatorName, false, false},
    {"recipe", &StationFile::recipe, true, true},
    {"pool", &StationFile::pool, false, false},
    {"report", &StationFile::report, true, false},
    {"passwordFile", &StationFile::passwordFile, true, true},
    {"newLoginPasswordFile", &StationFile::newLoginPasswordFile, true, true},
    {"newWifiPasswordFile", &StationFile::newWifiPasswordFile, true, true},
};

bool readSlot(const QJsonValue &value, const QString &folder, StationSlot *slot, QString *problem)
{
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (key != QLatin1String("name") && key != QLatin1String("port") &&
            key != QLatin1String("serial")) {
            *problem = StationFileReader::tr("未知的槽位键“%1”").arg(key);
            return false;
        }
        if (!it.value().isString() || it.value().toString().trimmed().isEmpty()) {
            *problem = StationFileReader::tr("槽位键“%1”需要非空文本").arg(key);
            return false;
        }
    }
    slot->name = object.value(QStringLiteral("name")).toString().trimmed();
    const QString port = object.value(QStringLiteral("port")).toString();
    slot->serial = object.value(QStringLiteral("serial")).toString().trimmed();
    if (!value.isObject() || slot->name.isEmpty()) {
        *problem = StationFileReader::tr("每个槽位都需要名称（name）");
        return false;
    }
    if (port.isEmpty() == slot->serial.isEmpty()) {
        *problem = StationFileReader::tr("槽位%1需要port或serial之一").arg(slot->name);
        return false;
    }
    slot->port = port.isEmpty() ? QString() : resolved(folder, port);
    return true;
}

bool readSlots(const QJsonValue &value, const QString &folder, StationFile *file, QString *problem)
{
    if (!value.isArray() || value.toArray().isEmpty()) {
        *problem = StationFileReader::tr("工位键“slots”需要非空数组");
        return false;
    }
    QSet<QString> names;
    for (const QJsonValue &entry : value.toArray()) {
        StationSlot slot;
        if (!readSlot(entry, folder, &slot, problem))
            return false;
        if (names.contains(slot.name)) {
            *problem = StationFileReader::tr("槽位名称%1重复").arg(slot.name);
            return false;
        }
        names.insert(slot.name);
        file->slotList.append(slot);
    }
    return true;
}

bool readTextKey(const TextKey &row, const QJsonValue &value, const QString &folder,
                 StationFile *file, QString *problem)
{
    const QString key = QString::fromLatin1(row.key);
    if (!value.isString() || value.toString().trimmed().isEmpty()) {
        *problem = StationFileReader::tr("工位键“%1”需要非空文本").arg(key);
        return false;
    }
    QString text = value.toString().trimmed();
    if (row.path)
        text = resolved(folder, text);
    if (row.mustExist && !QFileInfo(text).isFile()) {
        *problem = StationFileReader::tr("工位键“%1”的文件%2不存在").arg(key, text);
        return false;
    }
    file->*row.field = text;
    return true;
}

bool readKey(const QString &key, const QJsonValue &value, const QString &folder, StationFile *file,
             QString *problem)
{
    for (const TextKey &row : TEXT_KEYS) {
        if (key == QLatin1String(row.key))
            return readTextKey(row, value, folder, file, problem);
    }
    if (key == QLatin1String("autoStart")) {
        if (!value.isBool()) {
            *problem = StationFileReader::tr("工位键“autoStart”需要true或false");
            return false;
        }
        file->autoStart = value.toBool();
        return true;
    }
    if (key == QLatin1String("slots"))
        return readSlots(value, folder, file, problem);
    *problem = StationFileReader::tr("未知的工位键“%1”").arg(key);
    return false;
}

} // namespace

bool StationFileReader::parse(const QByteArray &json, const QString &folder, StationFile *file,
                              QString *problem)
{
    QJsonObject object;
    QString parseError;
    if (!InputFile::jsonObject(json, &object, &parseError)) {
        *problem = tr("工位文件不是JSON对象：%1").arg(parseError);
        return false;
    }
    StationFile parsed;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!readKey(it.key(), it.value(), folder, &parsed, problem))
            return false;
    }
    for (const char *required : {"station", "recipe", "passwordFile", "slots"}) {
        if (!object.contains(QLatin1String(required))) {
            *problem = tr("工位文件缺少键“%1”").arg(QLatin1String(required));
            return false;
        }
    }
    parsed.pool = resolvedPool(folder, parsed.pool);
    parsed.path = file->path;
    *file = parsed;
    return true;
}

bool StationFileReader::load(const QString &path, StationFile *file, QString *problem)
{
    QByteArray bytes;
    if (!InputFile::read(path, tr("工位文件"), &bytes, problem))
        return false;
    const QFileInfo info(path);
    file->path = info.absoluteFilePath();
    return parse(bytes, info.absolutePath(), file, problem);
}
