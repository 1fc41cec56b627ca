// The module simulator's register store and what it knows of credentials:
// text fields, MAC addresses, the login password and the lock-out.
#include "simulator/modulemodel.h"

#include "base/bytes.h"
#include "crypto/credential.h"
#include "protocol/frame.h"

#include <QHash>
#include <QMutex>

QByteArray ModuleModel::registerBytes(quint16 first, quint16 count) const
{
    const int begin = qMin<int>(first, REGISTER_COUNT) * 2;
    const int end = qMin<int>(int(first) + count, REGISTER_COUNT) * 2;
    return store.mid(begin, end - begin);
}

void ModuleModel::setRegisterBytes(quint16 first, const QByteArray &bytes)
{
    const int begin = int(first) * 2;
    const int room = qMax(0, store.size() - begin);
    const int length = qMin(room, bytes.size());
    if (length > 0)
        store.replace(begin, length, bytes.constData(), length);
}

QString ModuleModel::textField(quint16 first, int width) const
{
    return QString::fromLocal8Bit(Bytes::upToFirstZero(registerBytes(first, quint16(width / 2))));
}

void ModuleModel::setTextField(quint16 first, int width, const QString &text)
{
    setRegisterBytes(first, Bytes::zeroFilled(text.toLocal8Bit(), width));
}

QString ModuleModel::ssid() const
{
    return textField(Registers::WIFI_SSID, Registers::SSID_FIELD_BYTES);
}

void ModuleModel::setSsid(const QString &text)
{
    setTextField(Registers::WIFI_SSID, Registers::SSID_FIELD_BYTES, text);
}

QString ModuleModel::wifiPassword() const
{
    return textField(Registers::WIFI_PASSWORD, Registers::WIFI_PASSWORD_FIELD_BYTES);
}

void ModuleModel::setWifiPassword(const QString &text)
{
    setTextField(Registers::WIFI_PASSWORD, Registers::WIFI_PASSWORD_FIELD_BYTES, text);
}

QByteArray ModuleModel::wifiMac() const
{
    return registerBytes(Registers::WIFI_MAC, Registers::MAC_FIELD_BYTES / 2);
}

QByteArray ModuleModel::feMac() const
{
    return registerBytes(Registers::FE_MAC, Registers::MAC_FIELD_BYTES / 2);
}

QString ModuleModel::loginPassword() const
{
    return passwordText;
}

void ModuleModel::setLoginPassword(const QString &text)
{
    passwordText = text;
    passwordField.clear();
    prepareCredentialFields();
}

bool ModuleModel::acceptsLoginPassword(const QString &text)
{
    return expectedField(text) == expectedPasswordField();
}

bool ModuleModel::accountLocked() const
{
    if (!locked)
        return false;
    return settings.lockUntilRestart || clock() - lockedSinceMs < settings.lockDurationMs;
}

CredentialScheme ModuleModel::scheme() const
{
    return settings.softwareVersion <= AES_SCHEME_MAX_VERSION ? CredentialScheme::AesOnly
                                                              : CredentialScheme::Derived;
}

// Derived fields cost a key derivation each, so each is computed once per
// process: every model (a fuzz target makes one per input) shares them.
QByteArray ModuleModel::expectedField(const QString &text)
{
    static QMutex cacheLock;
    static QHash<QString, QByteArray> cache;
    constexpr int MAX_CACHED_FIELDS = 1000;

    const CredentialScheme current = scheme();
    const QString key =
        (current == CredentialScheme::Derived ? QStringLiteral("d:") : QStringLiteral("a:")) + text;
    QMutexLocker locker(&cacheLock);
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return found.value();
    const QByteArray field = credentialField(text, current);
    if (cache.size() >= MAX_CACHED_FIELDS)
        cache.clear();
    cache.insert(key, field);
    return field;
}

// A field kept from a change under another scheme matches nothing: the
// module cannot turn it into the current scheme's field.
QByteArray ModuleModel::expectedPasswordField()
{
    if (passwordField.isEmpty())
        return expectedField(passwordText);
    if (passwordFieldScheme != scheme())
        return QByteArray();
    return passwordField;
}

bool ModuleModel::isFactoryPassword()
{
    return expectedPasswordField() == expectedField(settings.factoryPassword);
}
