#pragma once

// A provisioning recipe: a JSON object such as
//   {"firmware": "fw.bin", "ssid": "line-4", "wifiPasswordFile": "wifi.pw",
//    "macs": ["wifi", "fe"], "operator": "wang", "pullLog": "logs", "verify": true}
// Every key is optional; relative paths count from the recipe's folder.

#include <QCoreApplication>
#include <QString>

#include <optional>

struct Recipe {
    QString firmware; // absolute path, empty: no upgrade
    std::optional<QString> ssid;
    QString wifiPasswordFile; // absolute path, empty: no Wi-Fi password change
    bool wifiMac = false;
    bool feMac = false;
    QString operatorName;
    QString pullLog; // absolute directory, empty: no log pull
    bool verify = false;
    QString sha256; // hex digest of the recipe file as read by load()
};

class RecipeReader
{
    Q_DECLARE_TR_FUNCTIONS(RecipeReader)

public:
    // Parses `json`, resolving paths against `folder`. False with the reason
    // in *problem for bad JSON, a key that is not one of the seven, or a
    // value of the wrong type.
    static bool parse(const QByteArray &json, const QString &folder, Recipe *recipe,
                      QString *problem);
    // Reads and parses the file at `path`.
    static bool load(const QString &path, Recipe *recipe, QString *problem);
};
