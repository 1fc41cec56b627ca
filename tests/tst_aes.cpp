#include "crypto/aescipher.h"

#include <QRandomGenerator>
#include <QtTest>

#include <openssl/evp.h>

namespace
{

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// 00 01 02 ... (count - 1)
QByteArray counting(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i));
    return bytes;
}

QByteArray randomBytes(QRandomGenerator &random, int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

int keyLengthOf(int level)
{
    return level == AesCipher::AES_192 ? 24 : level == AesCipher::AES_256 ? 32 : 16;
}

// The same operation through OpenSSL's EVP interface, without padding.
QByteArray openSsl(int level, int mode, bool encrypting, const QByteArray &input,
                   const QByteArray &key, const QByteArray &iv)
{
    using CipherFactory = const EVP_CIPHER *(*)();
    static const CipherFactory ciphers[3][4] = {
        {EVP_aes_128_ecb, EVP_aes_128_cbc, EVP_aes_128_cfb128, EVP_aes_128_ofb},
        {EVP_aes_192_ecb, EVP_aes_192_cbc, EVP_aes_192_cfb128, EVP_aes_192_ofb},
        {EVP_aes_256_ecb, EVP_aes_256_cbc, EVP_aes_256_cfb128, EVP_aes_256_ofb}};
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    QByteArray output(input.size() + 16, '\0');
    auto *out = reinterpret_cast<unsigned char *>(output.data());
    int updated = 0;
    int finished = 0;
    const bool ok = EVP_CipherInit_ex(context, ciphers[level][mode](), nullptr,
                                      reinterpret_cast<const unsigned char *>(key.constData()),
                                      reinterpret_cast<const unsigned char *>(iv.constData()),
                                      encrypting ? 1 : 0) == 1 &&
                    EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
                    EVP_CipherUpdate(context, out, &updated,
                                     reinterpret_cast<const unsigned char *>(input.constData()),
                                     input.size()) == 1 &&
                    EVP_CipherFinal_ex(context, out + updated, &finished) == 1;
    EVP_CIPHER_CTX_free(context);
    return ok ? output.left(updated + finished) : QByteArray("openssl failed");
}

const QByteArray SP800_PLAIN = hex("6bc1bee22e409f96e93d7e117393172a"
                                   "ae2d8a571e03ac9c9eb76fac45af8e51"
                                   "30c81c46a35ce411e5fbc1191a0a52ef"
                                   "f69f2445df4f9b17ad2b417be66c3710");
const QByteArray SP800_KEY_128 = hex("2b7e151628aed2a6abf7158809cf4f3c");
const QByteArray SP800_KEY_192 = hex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b");
const QByteArray SP800_KEY_256 =
    hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const QByteArray SP800_IV = hex("000102030405060708090a0b0c0d0e0f");

} // namespace

class TestAes : public QObject
{
    Q_OBJECT

private slots:
    void fips197Example_data();
    void fips197Example();
    void sp80038aVector_data();
    void sp80038aVector();
    void agreesWithOpenSsl_data();
    void agreesWithOpenSsl();
    void padding_data();
    void padding();
    void stripPadding_data();
    void stripPadding();
    void roundTrip_data();
    void roundTrip();
    void ivLength_data();
    void ivLength();
    void ecbIgnoresIv();
    void keyLength_data();
    void keyLength();
    void wholeBlocksForEcbAndCbc_data();
    void wholeBlocksForEcbAndCbc();
    void keySchedule_data();
    void keySchedule();
    void unknownSettings();
};

void TestAes::fips197Example_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("C.1 AES-128") << int(AesCipher::AES_128)
                                 << hex("69c4e0d86a7b0430d8cdb78070b4c55a");
    QTest::newRow("C.2 AES-192") << int(AesCipher::AES_192)
                                 << hex("dda97ca4864cdfe06eaf70a0ec0d7191");
    QTest::newRow("C.3 AES-256") << int(AesCipher::AES_256)
                                 << hex("8ea2b7ca516745bfeafc49904b496089");
}

void TestAes::fips197Example()
{
    QFETCH(int, level);
    QFETCH(QByteArray, cipher);
    const QByteArray plain = hex("00112233445566778899aabbccddeeff");
    const QByteArray key = counting(keyLengthOf(level));
    const AesCipher aes(level, AesCipher::ECB, AesCipher::ZERO);
    QCOMPARE(aes.encrypt(plain, key, QByteArray()), cipher);
    QCOMPARE(aes.decrypt(cipher, key, QByteArray()), plain);
}

void TestAes::sp80038aVector_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("cipher");
    const int cbc = AesCipher::CBC, cfb = AesCipher::CFB, ofb = AesCipher::OFB;
    QTest::newRow("F.2.1 CBC-AES128") << 0 << cbc << SP800_KEY_128
                                      << hex("7649abac8119b246cee98e9b12e9197d"
                                             "5086cb9b507219ee95db113a917678b2"
                                             "73bed6b8e3c1743b7116e69e22229516"
                                             "3ff1caa1681fac09120eca307586e1a7");
    QTest::newRow("F.2.3 CBC-AES192") << 1 << cbc << SP800_KEY_192
                                      << hex("4f021db243bc633d7178183a9fa071e8"
                                             "b4d9ada9ad7dedf4e5e738763f69145a"
                                             "571b242012fb7ae07fa9baac3df102e0"
                                             "08b0e27988598881d920a9e64f5615cd");
    QTest::newRow("F.2.5 CBC-AES256") << 2 << cbc << SP800_KEY_256
                                      << hex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"
                                             "9cfc4e967edb808d679f777bc6702c7d"
                                             "39f23369a9d9bacfa530e26304231461"
                                             "b2eb05e2c39be9fcda6c19078c6a9d1b");
    QTest::newRow("F.3.13 CFB128-AES128") << 0 << cfb << SP800_KEY_128
                                          << hex("3b3fd92eb72dad20333449f8e83cfb4a"
                                                 "c8a64537a0b3a93fcde3cdad9f1ce58b"
                                                 "26751f67a3cbb140b1808cf187a4f4df"
                                                 "c04b05357c5d1c0eeac4c66f9ff7f2e6");
    QTest::newRow("F.3.15 CFB128-AES192") << 1 << cfb << SP800_KEY_192
                                          << hex("cdc80d6fddf18cab34c25909c99a4174"
                                                 "67ce7f7f81173621961a2b70171d3d7a"
                                                 "2e1e8a1dd59b88b1c8e60fed1efac4c9"
                                                 "c05f9f9ca9834fa042ae8fba584b09ff");
    QTest::newRow("F.3.17 CFB128-AES256") << 2 << cfb << SP800_KEY_256
                                          << hex("dc7e84bfda79164b7ecd8486985d3860"
                                                 "39ffed143b28b1c832113c6331e5407b"
                                                 "df10132415e54b92a13ed0a8267ae2f9"
                                                 "75a385741ab9cef82031623d55b1e471");
    QTest::newRow("F.4.1 OFB-AES128") << 0 << ofb << SP800_KEY_128
                                      << hex("3b3fd92eb72dad20333449f8e83cfb4a"
                                             "7789508d16918f03f53c52dac54ed825"
                                             "9740051e9c5fecf64344f7a82260edcc"
                                             "304c6528f659c77866a510d9c1d6ae5e");
    QTest::newRow("F.4.3 OFB-AES192") << 1 << ofb << SP800_KEY_192
                                      << hex("cdc80d6fddf18cab34c25909c99a4174"
                                             "fcc28b8d4c63837c09e81700c1100401"
                                             "8d9a9aeac0f6596f559c6d4daf59a5f2"
                                             "6d9f200857ca6c3e9cac524bd9acc92a");
    QTest::newRow("F.4.5 OFB-AES256") << 2 << ofb << SP800_KEY_256
                                      << hex("dc7e84bfda79164b7ecd8486985d3860"
                                             "4febdc6740d20b3ac88f6ad82a4fb08d"
                                             "71ab47a086e86eedf39d1c5bba97c408"
                                             "0126141d67f37be8538f5a8be740e484");
}

void TestAes::sp80038aVector()
{
    QFETCH(int, level);
    QFETCH(int, mode);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, cipher);
    QCOMPARE(AesCipher::encrypt(level, mode, SP800_PLAIN, key, SP800_IV, AesCipher::ZERO), cipher);
    QCOMPARE(AesCipher::decrypt(level, mode, cipher, key, SP800_IV, AesCipher::ZERO), SP800_PLAIN);
}

void TestAes::agreesWithOpenSsl_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("mode");
    const char *levels[] = {"AES-128", "AES-192", "AES-256"};
    const char *modes[] = {"ECB", "CBC", "CFB", "OFB"};
    for (int level = 0; level < 3; ++level)
        for (int mode = 0; mode < 4; ++mode)
            QTest::addRow("%s %s", levels[level], modes[mode]) << level << mode;
}

// Random keys, IVs and texts of up to 8 blocks: both directions agree with OpenSSL; CFB and
// OFB also for cipher text that ends in a short block.
void TestAes::agreesWithOpenSsl()
{
    QFETCH(int, level);
    QFETCH(int, mode);
    QRandomGenerator random(quint32(1000 + 10 * level + mode));
    const bool streamMode = mode == AesCipher::CFB || mode == AesCipher::OFB;
    for (int round = 0; round < 20; ++round) {
        const QByteArray key = randomBytes(random, keyLengthOf(level));
        const QByteArray iv = randomBytes(random, 16);
        const QByteArray plain = randomBytes(random, 16 * random.bounded(9));
        const QByteArray cipher = openSsl(level, mode, true, plain, key, iv);
        QCOMPARE(AesCipher::encrypt(level, mode, plain, key, iv, AesCipher::ZERO), cipher);
        QCOMPARE(AesCipher::decrypt(level, mode, cipher, key, iv, AesCipher::ZERO), plain);
        if (streamMode) {
            const QByteArray ragged = randomBytes(random, 1 + random.bounded(70));
            QCOMPARE(AesCipher::decrypt(level, mode, ragged, key, iv, AesCipher::ZERO),
                     openSsl(level, mode, false, ragged, key, iv));
        }
    }
}

void TestAes::padding_data()
{
    QTest::addColumn<int>("padding");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("padded");
    const QByteArray sixteen = counting(16);
    const QByteArray seventeen = counting(17);
    const int zero = AesCipher::ZERO, pkcs7 = AesCipher::PKCS7, iso = AesCipher::ISO;
    QTest::newRow("zero: empty stays empty") << zero << QByteArray() << QByteArray();
    QTest::newRow("zero: whole block unchanged") << zero << sixteen << sixteen;
    QTest::newRow("zero: 17 bytes fill two blocks")
        << zero << seventeen << seventeen + QByteArray(15, '\0');
    QTest::newRow("pkcs7: empty becomes a block of 16s")
        << pkcs7 << QByteArray() << QByteArray(16, '\x10');
    QTest::newRow("pkcs7: whole block gains a block")
        << pkcs7 << sixteen << sixteen + QByteArray(16, '\x10');
    QTest::newRow("pkcs7: 3 bytes gain 13 bytes of 13")
        << pkcs7 << QByteArray("abc") << QByteArray("abc") + QByteArray(13, 13);
    QTest::newRow("iso: 3 bytes gain 0x80 and zeros")
        << iso << QByteArray("abc") << QByteArray("abc\x80") + QByteArray(12, '\0');
    QTest::newRow("iso: 15 bytes gain only 0x80")
        << iso << counting(15) << counting(15) + QByteArray("\x80");
    QTest::newRow("iso: whole block gains a block")
        << iso << sixteen << sixteen + QByteArray("\x80") + QByteArray(15, '\0');
    QTest::newRow("iso: empty becomes a block")
        << iso << QByteArray() << QByteArray("\x80") + QByteArray(15, '\0');
}

// Every mode's output is as long as the padded text, and deciphering shows the exact padding.
void TestAes::padding()
{
    QFETCH(int, padding);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, padded);
    for (int mode = AesCipher::ECB; mode <= AesCipher::OFB; ++mode) {
        const AesCipher aes(AesCipher::AES_128, mode, padding);
        const QByteArray cipher = aes.encrypt(plain, SP800_KEY_128, SP800_IV);
        QCOMPARE(cipher.size(), padded.size());
        QCOMPARE(aes.decrypt(cipher, SP800_KEY_128, SP800_IV), padded);
    }
}

void TestAes::stripPadding_data()
{
    QTest::addColumn<int>("padding");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("stripped");
    const int zero = AesCipher::ZERO, pkcs7 = AesCipher::PKCS7, iso = AesCipher::ISO;
    const QByteArray nul(1, '\0');
    QTest::newRow("zero: empty") << zero << QByteArray() << QByteArray();
    QTest::newRow("zero: trailing zeros go")
        << zero << QByteArray("ab") + nul + nul << QByteArray("ab");
    QTest::newRow("zero: inner zero stays")
        << zero << QByteArray("a") + nul + "b" << QByteArray("a") + nul + "b";
    QTest::newRow("zero: only zeros") << zero << QByteArray(5, '\0') << QByteArray();
    QTest::newRow("pkcs7: last byte counts")
        << pkcs7 << QByteArray("abcd\x03\x03\x03") << QByteArray("abcd");
    QTest::newRow("pkcs7: removed bytes unchecked")
        << pkcs7 << QByteArray("abcdxy\x03") << QByteArray("abcd");
    QTest::newRow("pkcs7: whole text") << pkcs7 << QByteArray("\x02\x02") << QByteArray();
    QTest::newRow("pkcs7: count 0 keeps")
        << pkcs7 << QByteArray("ab") + nul << QByteArray("ab") + nul;
    QTest::newRow("pkcs7: count beyond length keeps")
        << pkcs7 << QByteArray("ab\x04") << QByteArray("ab\x04");
    QTest::newRow("iso: cut at 0x80")
        << iso << QByteArray("ab\x80") + nul + nul << QByteArray("ab");
    QTest::newRow("iso: 0x80 last") << iso << QByteArray("ab\x80") << QByteArray("ab");
    QTest::newRow("iso: no marker keeps")
        << iso << QByteArray("ab") + nul << QByteArray("ab") + nul;
    QTest::newRow("iso: marker not last non-zero keeps")
        << iso << QByteArray("a\x80z") + nul << QByteArray("a\x80z") + nul;
    QTest::newRow("iso: only zeros keeps") << iso << QByteArray(3, '\0') << QByteArray(3, '\0');
    QTest::newRow("unknown scheme keeps") << 7 << QByteArray("ab\x01") << QByteArray("ab\x01");
}

void TestAes::stripPadding()
{
    QFETCH(int, padding);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, stripped);
    QCOMPARE(AesCipher::stripPadding(text, padding), stripped);
}

void TestAes::roundTrip_data()
{
    QTest::addColumn<int>("padding");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("restored");
    const QByteArray trailingZeros = QByteArray("abc") + QByteArray(2, '\0');
    const QByteArray endsInMarker = counting(15) + QByteArray("\x80");
    const QByteArray markerAndZeros = QByteArray("0123456789abc\x80") + QByteArray(2, '\0');
    const int zero = AesCipher::ZERO, pkcs7 = AesCipher::PKCS7, iso = AesCipher::ISO;
    QTest::newRow("zero: text restored")
        << zero << QByteArray("hello world") << QByteArray("hello world");
    QTest::newRow("zero: trailing zeros lost") << zero << trailingZeros << QByteArray("abc");
    QTest::newRow("pkcs7: trailing zeros kept") << pkcs7 << trailingZeros << trailingZeros;
    QTest::newRow("pkcs7: whole blocks") << pkcs7 << counting(32) << counting(32);
    QTest::newRow("pkcs7: empty") << pkcs7 << QByteArray() << QByteArray();
    QTest::newRow("iso: trailing zeros kept") << iso << trailingZeros << trailingZeros;
    QTest::newRow("iso: block ending in 0x80") << iso << endsInMarker << endsInMarker;
    QTest::newRow("iso: block ending in 0x80 and zeros") << iso << markerAndZeros << markerAndZeros;
}

void TestAes::roundTrip()
{
    QFETCH(int, padding);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, restored);
    for (int level = AesCipher::AES_128; level <= AesCipher::AES_256; ++level) {
        for (int mode = AesCipher::ECB; mode <= AesCipher::OFB; ++mode) {
            const AesCipher aes(level, mode, padding);
            const QByteArray key = counting(keyLengthOf(level));
            const QByteArray cipher = aes.encrypt(plain, key, SP800_IV);
            QCOMPARE(aes.stripPadding(aes.decrypt(cipher, key, SP800_IV)), restored);
        }
    }
}

void TestAes::ivLength_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("iv");
    const char *modes[] = {"ECB", "CBC", "CFB", "OFB"};
    for (int mode = AesCipher::CBC; mode <= AesCipher::OFB; ++mode) {
        QTest::addRow("%s, empty IV", modes[mode]) << mode << QByteArray();
        QTest::addRow("%s, 15-byte IV", modes[mode]) << mode << counting(15);
        QTest::addRow("%s, 17-byte IV", modes[mode]) << mode << counting(17);
    }
}

void TestAes::ivLength()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, iv);
    const AesCipher aes(AesCipher::AES_128, mode, AesCipher::PKCS7);
    QVERIFY(aes.encrypt(SP800_PLAIN, SP800_KEY_128, iv).isEmpty());
    QVERIFY(aes.decrypt(SP800_PLAIN, SP800_KEY_128, iv).isEmpty());
    // the same call with a 16-byte IV works: only the IV length is refused
    QVERIFY(!aes.encrypt(SP800_PLAIN, SP800_KEY_128, counting(16)).isEmpty());
}

void TestAes::ecbIgnoresIv()
{
    const AesCipher aes(AesCipher::AES_128, AesCipher::ECB, AesCipher::ZERO);
    const QByteArray expected = aes.encrypt(SP800_PLAIN, SP800_KEY_128, QByteArray());
    QCOMPARE(expected.left(16), hex("3ad77bb40d7a3660a89ecaf32466ef97")); // SP 800-38A F.1.1
    QCOMPARE(aes.encrypt(SP800_PLAIN, SP800_KEY_128, counting(5)), expected);
    QCOMPARE(aes.encrypt(SP800_PLAIN, SP800_KEY_128, SP800_IV), expected);
    QCOMPARE(aes.decrypt(expected, SP800_KEY_128, counting(3)), SP800_PLAIN);
}

void TestAes::keyLength_data()
{
    QTest::addColumn<int>("level");
    QTest::addRow("AES-128") << int(AesCipher::AES_128);
    QTest::addRow("AES-192") << int(AesCipher::AES_192);
    QTest::addRow("AES-256") << int(AesCipher::AES_256);
}

// A short key is refused everywhere; a long key acts as its prefix of the level's length.
void TestAes::keyLength()
{
    QFETCH(int, level);
    const int length = keyLengthOf(level);
    const QByteArray shortKey = counting(length - 1);
    const QByteArray longKey = counting(length + 4);
    for (int mode = AesCipher::ECB; mode <= AesCipher::OFB; ++mode) {
        const AesCipher aes(level, mode, AesCipher::PKCS7);
        QVERIFY(aes.encrypt(SP800_PLAIN, shortKey, SP800_IV).isEmpty());
        QVERIFY(aes.decrypt(SP800_PLAIN, shortKey, SP800_IV).isEmpty());
        QCOMPARE(aes.encrypt(SP800_PLAIN, longKey, SP800_IV),
                 aes.encrypt(SP800_PLAIN, longKey.left(length), SP800_IV));
        QCOMPARE(aes.decrypt(SP800_PLAIN, longKey, SP800_IV),
                 aes.decrypt(SP800_PLAIN, longKey.left(length), SP800_IV));
    }
    QVERIFY(AesCipher::keySchedule(level, AesCipher::ECB, shortKey).isEmpty());
    QVERIFY(AesCipher::keySchedule(level, AesCipher::ECB, QByteArray()).isEmpty());
}

void TestAes::wholeBlocksForEcbAndCbc_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("length");
    QTest::newRow("ECB, 15 bytes") << int(AesCipher::ECB) << 15;
    QTest::newRow("ECB, 33 bytes") << int(AesCipher::ECB) << 33;
    QTest::newRow("CBC, 1 byte") << int(AesCipher::CBC) << 1;
    QTest::newRow("CBC, 17 bytes") << int(AesCipher::CBC) << 17;
}

void TestAes::wholeBlocksForEcbAndCbc()
{
    QFETCH(int, mode);
    QFETCH(int, length);
    const AesCipher aes(AesCipher::AES_128, mode, AesCipher::ZERO);
    QVERIFY(aes.decrypt(counting(length), SP800_KEY_128, SP800_IV).isEmpty());
}

void TestAes::keySchedule_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("lastWord");
    QTest::newRow("A.1 AES-128") << 0 << SP800_KEY_128 << 176 << hex("b6630ca6");
    QTest::newRow("A.2 AES-192") << 1 << SP800_KEY_192 << 208 << hex("01002202");
    QTest::newRow("A.3 AES-256") << 2 << SP800_KEY_256 << 240 << hex("706c631e");
}

void TestAes::keySchedule()
{
    QFETCH(int, level);
    QFETCH(QByteArray, key);
    QFETCH(int, length);
    QFETCH(QByteArray, lastWord);
    const QByteArray schedule = AesCipher::keySchedule(level, AesCipher::CBC, key);
    QCOMPARE(schedule.size(), length);
    QCOMPARE(schedule.left(key.size()), key);
    QCOMPARE(schedule.right(4), lastWord);
}

void TestAes::unknownSettings()
{
    const QByteArray plain("abc");
    // an unknown level is AES-128
    QCOMPARE(AesCipher::encrypt(7, AesCipher::CBC, plain, counting(32), SP800_IV, 1),
             AesCipher::encrypt(0, AesCipher::CBC, plain, counting(16), SP800_IV, 1));
    QCOMPARE(AesCipher::keySchedule(-1, AesCipher::ECB, counting(32)).size(), 176);
    // an unknown mode gives nothing
    QVERIFY(AesCipher::encrypt(0, 4, plain, SP800_KEY_128, SP800_IV, 1).isEmpty());
    QVERIFY(AesCipher::decrypt(0, 4, counting(16), SP800_KEY_128, SP800_IV, 1).isEmpty());
    // an unknown padding pads with zeros
    const QByteArray cipher = AesCipher::encrypt(0, AesCipher::ECB, plain, SP800_KEY_128, {}, 9);
    QCOMPARE(AesCipher::decrypt(0, AesCipher::ECB, cipher, SP800_KEY_128, {}, 9),
             plain + QByteArray(13, '\0'));
}

QTEST_APPLESS_MAIN(TestAes)
#include "tst_aes.moc"
