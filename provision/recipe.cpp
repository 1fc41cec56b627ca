#include "provision/recipe.h"

#include "provision/inputfile.h"

#include <QCryptographicHash>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace
{

QString resolved(const QString &folder, const QString &path)
{
    return QDir::cleanPath(QDir(folder).absoluteFilePath(path));
}

} // namespace

bool RecipeReader::parse(const QByteArray &json, const QString &folder, Recipe *recipe,
                         QString *problem)
{
    QJsonObject object;
    QString parseError;
    if (!InputFile::jsonObject(json, &object, &parseError)) {
        *problem = tr("配方不是JSON对象：%1").arg(parseError);
        return false;
    }
    Recipe parsed;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        const bool textKey = key == QLatin1String("firmware") || key == QLatin1String("ssid") ||
                             key == QLatin1String("wifiPasswordFile") ||
                             key == QLatin1String("operator") || key == QLatin1String("pullLog");
        if (textKey && !value.isString()) {
            *problem = tr("配方键“%1”需要文本").arg(key);
            return false;
        }
        if (key == QLatin1String("firmware")) {
            parsed.firmware = resolved(folder, value.toString());
        } else if (key == QLatin1String("ssid")) {
            parsed.ssid = value.toString();
        } else if (key == QLatin1String("wifiPasswordFile")) {
            parsed.wifiPasswordFile = resolved(folder, value.toString());
        } else if (key == QLatin1String("operator")) {
            parsed.operatorName = value.toString();
        } else if (key == QLatin1String("pullLog")) {
            parsed.pullLog = resolved(folder, value.toString());
        } else if (key == QLatin1String("verify")) {
            if (!value.isBool()) {
                *problem = tr("配方键“%1”需要true或false").arg(key);
                return false;
            }
            parsed.verify = value.toBool();
        } else if (key == QLatin1String("macs")) {
            if (!value.isArray()) {
                *problem = tr("配方键“%1”需要数组").arg(key);
                return false;
            }
            for (const QJsonValue &which : value.toArray()) {
                if (which.toString() == QLatin1String("wifi")) {
                    parsed.wifiMac = true;
                } else if (which.toString() == QLatin1String("fe")) {
                    parsed.feMac = true;
                } else {
                    *problem = tr("配方键“macs”只接受\"wifi\"和\"fe\"");
                    return false;
                }
            }
        } else {
            *problem = tr("未知的配方键“%1”").arg(key);
            return false;
        }
    }
    *recipe = parsed;
    return true;
}

bool RecipeReader::load(const QString &path, Recipe *recipe, QString *problem)
{
    QByteArray bytes;
    if (!InputFile::read(path, tr("配方"), &bytes, problem))
        return false;
    if (!parse(bytes, QFileInfo(path).absolutePath(), recipe, problem))
        return false;
    recipe->sha256 =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return true;
}
