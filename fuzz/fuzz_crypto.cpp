// Fuzz target for the AES engine on hostile input: any level, mode and
// padding, keys and IVs of any length, cipher text of any length. Whole-block
// ECB and CBC deciphering must invert enciphering. Also the choice of the
// credential scheme from a version text read from the module.
#include "crypto/aescipher.h"
#include "crypto/credential.h"
#include "fuzz/fuzzdriver.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>

namespace
{

// Header byte: level (bits 0-1), mode (2-3), padding (4-5); then one byte
// each for the key and IV lengths; then key, IV and cipher text.
struct CipherInput {
    int level = 0;
    int mode = 0;
    int padding = 0;
    QByteArray key;
    QByteArray iv;
    QByteArray cipher;
};

CipherInput splitInput(const QByteArray &bytes)
{
    CipherInput in;
    if (bytes.size() < 3)
        return in;
    const quint8 header = quint8(bytes.at(0));
    in.level = header & 0x03;
    in.mode = (header >> 2) & 0x03;
    in.padding = (header >> 4) & 0x03;
    const int keyLength = quint8(bytes.at(1)) % 40;
    const int ivLength = quint8(bytes.at(2)) % 20;
    in.key = bytes.mid(3, keyLength);
    in.iv = bytes.mid(3 + keyLength, ivLength);
    in.cipher = bytes.mid(3 + keyLength + ivLength);
    return in;
}

void checkRoundTrip(const CipherInput &in, const QByteArray &plain)
{
    const bool blockMode = in.mode == AesCipher::ECB || in.mode == AesCipher::CBC;
    if (!blockMode || plain.isEmpty())
        return;
    // ZERO padding adds nothing to whole blocks, so enciphering the plain
    // text again must give back the cipher text.
    const QByteArray again =
        AesCipher::encrypt(in.level, in.mode, plain, in.key, in.iv, AesCipher::ZERO);
    if (again != in.cipher)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const CipherInput in = splitInput(bytes);
    const AesCipher engine(in.level, in.mode, in.padding);
    const QByteArray plain = engine.decrypt(in.cipher, in.key, in.iv);
    engine.stripPadding(plain);
    engine.stripPadding(bytes);
    checkRoundTrip(in, plain);
    credentialSchemeFor(QString::fromUtf8(bytes));
    return 0;
}

MAINT_FUZZ_RANDOM_MAIN(QByteArray::fromHex("001010"), QByteArray::fromHex("041010"),
                       QByteArray::fromHex("051810"), QByteArray::fromHex("062010"),
                       QByteArray::fromHex("141010"), QByteArray::fromHex("241010"),
                       QByteArray::fromHex("0c1010"), QByteArray("124"), QByteArray())
