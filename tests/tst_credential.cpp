#include "crypto/aescipher.h"
#include "crypto/credential.h"

#include <QFile>
#include <QLoggingCategory>
#include <QtTest>

#include <openssl/evp.h>

namespace
{

// Expected values are written as hex here so that this binary holds no plain copy of them
// either (see constantsAreNotStoredInClear).
const QByteArray KEY = QByteArray::fromHex("1cd751bc7daa06c3425193b1b3b655ba");
const QByteArray IV = QByteArray::fromHex("71433478692a312d4e50693f47515126");
const QByteArray SALT = QByteArray::fromHex("6232323364333037343262666265373233"
                                            "396633346564303365326133663232");

// AES-128-CBC without padding through OpenSSL, on whole blocks.
QByteArray openSslCbc(const QByteArray &plain)
{
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    QByteArray output(plain.size() + 16, '\0');
    auto *out = reinterpret_cast<unsigned char *>(output.data());
    int length = 0;
    int last = 0;
    EVP_EncryptInit_ex(context, EVP_aes_128_cbc(), nullptr,
                       reinterpret_cast<const unsigned char *>(KEY.constData()),
                       reinterpret_cast<const unsigned char *>(IV.constData()));
    EVP_CIPHER_CTX_set_padding(context, 0);
    EVP_EncryptUpdate(context, out, &length,
                      reinterpret_cast<const unsigned char *>(plain.constData()), plain.size());
    EVP_EncryptFinal_ex(context, out + length, &last);
    EVP_CIPHER_CTX_free(context);
    return output.left(length + last);
}

QByteArray openSslDerived(const QByteArray &block)
{
    QByteArray output(64, '\0');
    PKCS5_PBKDF2_HMAC(block.constData(), block.size(),
                      reinterpret_cast<const unsigned char *>(SALT.constData()), SALT.size(), 10000,
                      EVP_sha256(), 64, reinterpret_cast<unsigned char *>(output.data()));
    return output;
}

QByteArray decryptBlock(const QByteArray &cipher)
{
    return AesCipher::decrypt(AesCipher::AES_128, AesCipher::CBC, cipher, KEY, IV, AesCipher::ZERO);
}

QStringList capturedMessages;
QLoggingCategory::CategoryFilter previousFilter = nullptr;

void enableCryptoDebug(QLoggingCategory *category)
{
    if (previousFilter)
        previousFilter(category);
    if (qstrcmp(category->categoryName(), "maint.crypto") == 0)
        category->setEnabled(QtDebugMsg, true);
}

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    capturedMessages << message;
}

} // namespace

Q_DECLARE_METATYPE(CredentialScheme)

class TestCredential : public QObject
{
    Q_OBJECT

private slots:
    void constants();
    void constantsAreNotStoredInClear();
    void credentialBlock_data();
    void credentialBlock();
    void longTextUsesItsFirst64Bytes();
    void credentialBlockIsTraced();
    void schemeForVersion_data();
    void schemeForVersion();
    void requestData_data();
    void requestData();
};

void TestCredential::constants()
{
    QCOMPARE(credentialAesKey(), KEY);
    QCOMPARE(credentialIv(), IV);
    QCOMPARE(credentialSalt(), SALT);
    QCOMPARE(AES_SCHEME_MAX_VERSION, 124);
}

void TestCredential::constantsAreNotStoredInClear()
{
    QFile binary(QCoreApplication::applicationFilePath());
    QVERIFY(binary.open(QIODevice::ReadOnly));
    const QByteArray image = binary.readAll();
    QVERIFY(image.size() > 1000);
    QVERIFY(!image.contains(KEY));
    QVERIFY(!image.contains(IV));
    QVERIFY(!image.contains(SALT));
}

void TestCredential::credentialBlock_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("plainBlock");
    const QByteArray sixtyFour = QByteArray("0123456789abcdef").repeated(4);
    QTest::newRow("empty text is 64 zero bytes") << QString() << QByteArray(64, '\0');
    QTest::newRow("5-byte password zero-filled")
        << QStringLiteral("Ab#12") << QByteArray("Ab#12") + QByteArray(59, '\0');
    QTest::newRow("64 bytes exactly") << QString::fromLatin1(sixtyFour) << sixtyFour;
    QTest::newRow("Chinese text as UTF-8")
        << QStringLiteral("管理员") << QStringLiteral("管理员").toUtf8() + QByteArray(55, '\0');
}

// The block is AES-128-CBC of the zero-filled text under the firmware key and IV: checked
// against OpenSSL and by deciphering.
void TestCredential::credentialBlock()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, plainBlock);
    const QByteArray block = encryptCredential(text);
    QCOMPARE(block.size(), 64);
    QCOMPARE(block, openSslCbc(plainBlock));
    QCOMPARE(decryptBlock(block), plainBlock);
}

void TestCredential::longTextUsesItsFirst64Bytes()
{
    const QByteArray seventy = QByteArray("Pass_word-").repeated(7);
    QCOMPARE(seventy.size(), 70);
    const QByteArray block = encryptCredential(QString::fromLatin1(seventy));
    QCOMPARE(block.size(), 64);
    QCOMPARE(block, encryptCredential(QString::fromLatin1(seventy.left(64))));
    QCOMPARE(decryptBlock(block), seventy.left(64));
    // a 3-byte character that straddles byte 64 is cut as well
    const QString straddling = QString(63, QLatin1Char('a')) + QStringLiteral("码");
    QCOMPARE(decryptBlock(encryptCredential(straddling)),
             QByteArray(63, 'a') + QStringLiteral("码").toUtf8().left(1));
}

void TestCredential::credentialBlockIsTraced()
{
    previousFilter = QLoggingCategory::installFilter(enableCryptoDebug);
    capturedMessages.clear();
    const QtMessageHandler previousHandler = qInstallMessageHandler(captureMessage);
    encryptCredential(QStringLiteral("admin"));
    qInstallMessageHandler(previousHandler);
    QLoggingCategory::installFilter(previousFilter);
    QCOMPARE(capturedMessages, QStringList({QStringLiteral("加密密码： ") + KEY.toHex() + " 16",
                                            QStringLiteral("初始向量： ") + IV.toHex() + " 16"}));
}

void TestCredential::schemeForVersion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<CredentialScheme>("scheme");
    QTest::newRow("124 is the last AES-only version")
        << QStringLiteral("124") << CredentialScheme::AesOnly;
    QTest::newRow("125 derives") << QStringLiteral("125") << CredentialScheme::Derived;
    QTest::newRow("not read yet derives") << QString() << CredentialScheme::Derived;
    QTest::newRow("old firmware 3") << QStringLiteral("3") << CredentialScheme::AesOnly;
    QTest::newRow("new firmware 1000") << QStringLiteral("1000") << CredentialScheme::Derived;
    QTest::newRow("not a number derives") << QStringLiteral("V1.2") << CredentialScheme::Derived;
    QTest::newRow("number with trailing text derives")
        << QStringLiteral("12x") << CredentialScheme::Derived;
}

void TestCredential::schemeForVersion()
{
    QFETCH(QString, version);
    QFETCH(CredentialScheme, scheme);
    QCOMPARE(credentialSchemeFor(version), scheme);
}

void TestCredential::requestData_data()
{
    QTest::addColumn<CredentialScheme>("scheme");
    QTest::newRow("AES-only") << CredentialScheme::AesOnly;
    QTest::newRow("derived") << CredentialScheme::Derived;
}

// Account field first, password field second; derived fields are PBKDF2 of the AES blocks.
void TestCredential::requestData()
{
    QFETCH(CredentialScheme, scheme);
    const QString account = QStringLiteral("admin");
    const QString password = QStringLiteral("Initpass_456");
    const QByteArray accountBlock = openSslCbc(QByteArray("admin") + QByteArray(59, '\0'));
    const QByteArray passwordBlock = openSslCbc(QByteArray("Initpass_456") + QByteArray(52, '\0'));
    const bool derived = scheme == CredentialScheme::Derived;
    const QByteArray accountField = derived ? openSslDerived(accountBlock) : accountBlock;
    const QByteArray passwordField = derived ? openSslDerived(passwordBlock) : passwordBlock;

    QCOMPARE(credentialField(account, scheme), accountField);
    QCOMPARE(credentialField(password, scheme), passwordField);
    const QByteArray data = credentialRequestData(account, password, scheme);
    QCOMPARE(data.size(), 128);
    QCOMPARE(data.left(64), accountField);
    QCOMPARE(data.mid(64), passwordField);
}

QTEST_GUILESS_MAIN(TestCredential)
#include "tst_credential.moc"
