#include "crypto/credential.h"
#include "crypto/pbkdf2.h"

#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtTest>

#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const unsigned char *bytesOf(const QByteArray &array)
{
    return reinterpret_cast<const unsigned char *>(array.constData());
}

QByteArray ours(const QByteArray &password, const QByteArray &salt, int iterations, int length)
{
    QByteArray output(length, '\x5a');
    pbkdf2HmacSha256(bytesOf(password), bytesOf(salt), salt.size(), iterations, length,
                     reinterpret_cast<unsigned char *>(output.data()), EVP_sha256());
    return output;
}

QByteArray reference(const QByteArray &password, const QByteArray &salt, int iterations, int length)
{
    QByteArray output(length, '\0');
    if (PKCS5_PBKDF2_HMAC(password.constData(), password.size(), bytesOf(salt), salt.size(),
                          iterations, EVP_sha256(), length,
                          reinterpret_cast<unsigned char *>(output.data())) != 1)
        return "PKCS5_PBKDF2_HMAC failed";
    return output;
}

QByteArray randomBlock(QRandomGenerator &random)
{
    QByteArray block(64, Qt::Uninitialized);
    for (char &byte : block)
        byte = char(random.bounded(256));
    return block;
}

// Runs `action` with file descriptor `fd` going to a temporary file and returns what was
// written there.
template <typename Action> QByteArray captureDescriptor(int fd, Action action)
{
    QTemporaryFile capture;
    if (!capture.open())
        return "no temporary file";
    std::fflush(nullptr);
    const int saved = dup(fd);
    dup2(capture.handle(), fd);
    action();
    std::fflush(nullptr);
    dup2(saved, fd);
    close(saved);
    capture.seek(0);
    return capture.readAll();
}

QLoggingCategory::CategoryFilter previousFilter = nullptr;

void enableCryptoDebug(QLoggingCategory *category)
{
    if (previousFilter)
        previousFilter(category);
    if (qstrcmp(category->categoryName(), "maint.crypto") == 0)
        category->setEnabled(QtDebugMsg, true);
}

} // namespace

class TestKdf : public QObject
{
    Q_OBJECT

private slots:
    void matchesOpenSsl_data();
    void matchesOpenSsl();
    void credentialKeyUsesFirmwareParameters();
    void credentialKeyIsDeterministicAndBlocksDiffer();
    void credentialKeyNeedsA64ByteBlock_data();
    void credentialKeyNeedsA64ByteBlock();
    void credentialKeyIsTracedOnlyInCryptoCategory_data();
    void credentialKeyIsTracedOnlyInCryptoCategory();
    void badArguments();
    void outOfMemoryIsReported();
};

void TestKdf::matchesOpenSsl_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("iterations");
    QTest::addColumn<int>("length");
    const QByteArray salt = credentialSalt();
    QRandomGenerator random(20240611);
    for (int i = 0; i < 6; ++i)
        QTest::addRow("random block %d", i) << randomBlock(random) << salt << 10000 << 64;
    QByteArray innerZeros = randomBlock(random);
    innerZeros.replace(20, 8, QByteArray(8, '\0'));
    QByteArray leadingZero = randomBlock(random);
    leadingZero[0] = '\0';
    QTest::newRow("all zero block") << QByteArray(64, '\0') << salt << 10000 << 64;
    QTest::newRow("zeros inside the block") << innerZeros << salt << 10000 << 64;
    QTest::newRow("block starts with zero") << leadingZero << salt << 10000 << 64;
    QTest::newRow("1 iteration") << randomBlock(random) << salt << 1 << 64;
    QTest::newRow("2 iterations") << randomBlock(random) << salt << 2 << 64;
    QTest::newRow("3 iterations") << randomBlock(random) << salt << 3 << 64;
    QTest::newRow("32 bytes out") << randomBlock(random) << salt << 100 << 32;
    QTest::newRow("100 bytes out, partial block") << randomBlock(random) << salt << 100 << 100;
    QTest::newRow("1 byte out") << randomBlock(random) << salt << 5 << 1;
    QTest::newRow("empty salt") << randomBlock(random) << QByteArray() << 10 << 64;
    QTest::newRow("long salt") << randomBlock(random) << randomBlock(random).repeated(3) << 10
                               << 64;
}

void TestKdf::matchesOpenSsl()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(int, length);
    QCOMPARE(ours(password, salt, iterations, length),
             reference(password, salt, iterations, length));
}

void TestKdf::credentialKeyUsesFirmwareParameters()
{
    QRandomGenerator random(7);
    const QByteArray block = randomBlock(random);
    QCOMPARE(deriveCredentialKey(block), reference(block, credentialSalt(), 10000, 64));
}

void TestKdf::credentialKeyIsDeterministicAndBlocksDiffer()
{
    QRandomGenerator random(8);
    const QByteArray block = randomBlock(random);
    const QByteArray key = deriveCredentialKey(block);
    QCOMPARE(key.size(), 64);
    QCOMPARE(deriveCredentialKey(block), key);
    QVERIFY(key.left(32) != key.mid(32));
    QByteArray changed = block;
    changed[63] = char(changed[63] ^ 1);
    QVERIFY(deriveCredentialKey(changed) != key);
}

void TestKdf::credentialKeyNeedsA64ByteBlock_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("empty") << 0;
    QTest::newRow("63 bytes") << 63;
    QTest::newRow("65 bytes") << 65;
}

void TestKdf::credentialKeyNeedsA64ByteBlock()
{
    QFETCH(int, length);
    QVERIFY(deriveCredentialKey(QByteArray(length, 'k')).isEmpty());
}

void TestKdf::credentialKeyIsTracedOnlyInCryptoCategory_data()
{
    QTest::addColumn<bool>("cryptoOn");
    QTest::newRow("maint.crypto off: nothing on standard output") << false;
    QTest::newRow("maint.crypto on: the trace line") << true;
}

// The derived key goes to the maint.crypto category, never straight to
// standard output; the test logger writes enabled debug lines there.
void TestKdf::credentialKeyIsTracedOnlyInCryptoCategory()
{
    QFETCH(bool, cryptoOn);
    if (cryptoOn)
        previousFilter = QLoggingCategory::installFilter(enableCryptoDebug);
    const QByteArray block(64, '\x11');
    unsigned char output[64];
    const QByteArray printed =
        captureDescriptor(STDOUT_FILENO, [&] { deriveCredentialKey(bytesOf(block), output); });
    if (cryptoOn)
        QLoggingCategory::installFilter(previousFilter);
    const QByteArray expected = reference(block, credentialSalt(), 10000, 64);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(output), 64), expected);
    if (cryptoOn)
        QVERIFY2(printed.contains("Derived Key: " + expected.toHex() + "\n"), printed.constData());
    else
        QCOMPARE(printed, QByteArray());
}

void TestKdf::badArguments()
{
    const QByteArray password(64, 'p');
    const QByteArray salt = credentialSalt();
    unsigned char output[8];

    std::memset(output, 0xa5, sizeof output);
    pbkdf2HmacSha256(bytesOf(password), bytesOf(salt), salt.size(), 1, 0, output, EVP_sha256());
    QCOMPARE(QByteArray(reinterpret_cast<char *>(output), 8), QByteArray(8, '\xa5'));

    pbkdf2HmacSha256(nullptr, bytesOf(salt), salt.size(), 1, 8, output, EVP_sha256());
    QCOMPARE(QByteArray(reinterpret_cast<char *>(output), 8), QByteArray(8, '\0'));

    std::memset(output, 0xa5, sizeof output);
    pbkdf2HmacSha256(bytesOf(password), bytesOf(salt), -1, 1, 8, output, EVP_sha256());
    QCOMPARE(QByteArray(reinterpret_cast<char *>(output), 8), QByteArray(8, '\0'));

    QCOMPARE(ours(password, salt, 0, 32), reference(password, salt, 1, 32));
}

// Without working memory: "malloc failed" as a system error, a zero-filled output and a
// failure answer; the process goes on. Checked in a child process limited to too little
// address space.
void TestKdf::outOfMemoryIsReported()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer needs far more address space than the limit leaves");
#else
    int errors[2];
    QCOMPARE(pipe(errors), 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        dup2(errors[1], STDERR_FILENO);
        const rlim_t limit = 1024UL * 1024 * 1024;
        const rlimit addressSpace{limit, limit};
        setrlimit(RLIMIT_AS, &addressSpace);
        const unsigned char password[64] = {};
        unsigned char output[32];
        // the salted block needs 2 GiB: far beyond the limit, and never read
        const bool derived =
            pbkdf2HmacSha256(password, password, 0x7ffffff0, 1, 32, output, EVP_sha256());
        _exit(!derived && output[0] == 0 && output[31] == 0 ? 1 : 0);
    }
    close(errors[1]);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QByteArray message(256, '\0');
    const ssize_t received = read(errors[0], message.data(), size_t(message.size()));
    close(errors[0]);
    message.truncate(int(qMax<ssize_t>(received, 0)));
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 1);
    QVERIFY2(message.startsWith("malloc failed: "), message.constData());
#endif
}

QTEST_APPLESS_MAIN(TestKdf)
#include "tst_kdf.moc"
