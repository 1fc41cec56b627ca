#include "crypto/aescipher.h"

#include <array>
#include <cstring>

namespace
{

constexpr int BLOCK = AesCipher::BLOCK_LENGTH;
using ByteTable = std::array<quint8, 256>;

// Multiplication by x in GF(2^8), reduced by the AES polynomial x^8 + x^4 + x^3 + x + 1.
constexpr quint8 xtime(quint8 b)
{
    return quint8((b << 1) ^ ((b & 0x80) ? 0x1b : 0x00));
}

constexpr quint8 multiply(quint8 a, quint8 b)
{
    quint8 product = 0;
    for (; b != 0; b >>= 1) {
        if (b & 1)
            product ^= a;
        a = xtime(a);
    }
    return product;
}

// a^254, which is the multiplicative inverse of a, and 0 for 0.
constexpr quint8 inverse(quint8 a)
{
    quint8 result = 1;
    for (int exponent = 254; exponent != 0; exponent >>= 1) {
        if (exponent & 1)
            result = multiply(result, a);
        a = multiply(a, a);
    }
    return result;
}

constexpr quint8 rotateLeft(quint8 b, int count)
{
    return quint8((b << count) | (b >> (8 - count)));
}

// The S-box as FIPS-197 defines it: the inverse in GF(2^8) followed by the affine
// transformation. Computed by the compiler, so no table entry can be mistyped.
constexpr ByteTable makeSBox()
{
    ByteTable box{};
    for (int i = 0; i < 256; ++i) {
        const quint8 b = inverse(quint8(i));
        box[i] = quint8(b ^ rotateLeft(b, 1) ^ rotateLeft(b, 2) ^ rotateLeft(b, 3) ^
                        rotateLeft(b, 4) ^ 0x63);
    }
    return box;
}

constexpr ByteTable makeInverseBox(const ByteTable &box)
{
    ByteTable inverseBox{};
    for (int i = 0; i < 256; ++i)
        inverseBox[box[i]] = quint8(i);
    return inverseBox;
}

constexpr ByteTable makeProducts(quint8 factor)
{
    ByteTable products{};
    for (int i = 0; i < 256; ++i)
        products[i] = multiply(quint8(i), factor);
    return products;
}

constexpr ByteTable SBOX = makeSBox();
constexpr ByteTable INV_SBOX = makeInverseBox(SBOX);
constexpr ByteTable TIMES_9 = makeProducts(0x09);
constexpr ByteTable TIMES_11 = makeProducts(0x0b);
constexpr ByteTable TIMES_13 = makeProducts(0x0d);
constexpr ByteTable TIMES_14 = makeProducts(0x0e);

// Entry 0 is unused; entry i is x^(i-1) in GF(2^8).
constexpr quint8 RCON[14] = {0x8d, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20,
                             0x40, 0x80, 0x1b, 0x36, 0x6c, 0xd8, 0xab};

// The state is 16 bytes; byte i lies in row i % 4, column i / 4.
void addRoundKey(quint8 *state, const quint8 *roundKey)
{
    for (int i = 0; i < BLOCK; ++i)
        state[i] ^= roundKey[i];
}

void substitute(quint8 *bytes, int count, const ByteTable &box)
{
    for (int i = 0; i < count; ++i)
        bytes[i] = box[bytes[i]];
}

void subBytes(quint8 *state)
{
    substitute(state, BLOCK, SBOX);
}
void invSubBytes(quint8 *state)
{
    substitute(state, BLOCK, INV_SBOX);
}

// Row r moves r columns to the left.
void shiftRows(quint8 *state)
{
    quint8 old[BLOCK];
    std::memcpy(old, state, BLOCK);
    for (int row = 1; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            state[row + 4 * column] = old[row + 4 * ((column + row) % 4)];
}

void invShiftRows(quint8 *state)
{
    quint8 old[BLOCK];
    std::memcpy(old, state, BLOCK);
    for (int row = 1; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            state[row + 4 * ((column + row) % 4)] = old[row + 4 * column];
}

// Each column times the polynomial {03}x^3 + {01}x^2 + {01}x + {02}.
void mixColumns(quint8 *state)
{
    for (quint8 *col = state; col < state + BLOCK; col += 4) {
        const quint8 a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = quint8(xtime(a0) ^ xtime(a1) ^ a1 ^ a2 ^ a3);
        col[1] = quint8(a0 ^ xtime(a1) ^ xtime(a2) ^ a2 ^ a3);
        col[2] = quint8(a0 ^ a1 ^ xtime(a2) ^ xtime(a3) ^ a3);
        col[3] = quint8(xtime(a0) ^ a0 ^ a1 ^ a2 ^ xtime(a3));
    }
}

// Each column times the inverse polynomial {0b}x^3 + {0d}x^2 + {09}x + {0e}.
void invMixColumns(quint8 *state)
{
    for (quint8 *col = state; col < state + BLOCK; col += 4) {
        const quint8 a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = quint8(TIMES_14[a0] ^ TIMES_11[a1] ^ TIMES_13[a2] ^ TIMES_9[a3]);
        col[1] = quint8(TIMES_9[a0] ^ TIMES_14[a1] ^ TIMES_11[a2] ^ TIMES_13[a3]);
        col[2] = quint8(TIMES_13[a0] ^ TIMES_9[a1] ^ TIMES_14[a2] ^ TIMES_11[a3]);
        col[3] = quint8(TIMES_11[a0] ^ TIMES_13[a1] ^ TIMES_9[a2] ^ TIMES_14[a3]);
    }
}

void rotWord(quint8 *word)
{
    const quint8 first = word[0];
    word[0] = word[1];
    word[1] = word[2];
    word[2] = word[3];
    word[3] = first;
}

void xorInto(quint8 *target, const quint8 *source, int count)
{
    for (int i = 0; i < count; ++i)
        target[i] ^= source[i];
}

const quint8 *bytesOf(const QByteArray &array)
{
    return reinterpret_cast<const quint8 *>(array.constData());
}

quint8 *writableBytesOf(QByteArray &array)
{
    return reinterpret_cast<quint8 *>(array.data());
}

// Index of the last byte that is not zero, -1 when there is none.
int lastNonZero(const QByteArray &text)
{
    int index = text.size() - 1;
    while (index >= 0 && text.at(index) == '\0')
        --index;
    return index;
}

} // namespace

AesCipher::AesCipher(int level, int mode, int padding)
    : QObject(nullptr), m_mode(mode), m_padding(padding)
{
    switch (level) {
    case AES_192:
        m_keyWords = 6;
        m_rounds = 12;
        break;
    case AES_256:
        m_keyWords = 8;
        m_rounds = 14;
        break;
    default:
        m_keyWords = 4;
        m_rounds = 10;
        break;
    }
}

QByteArray AesCipher::encrypt(const QByteArray &plain, const QByteArray &key,
                              const QByteArray &iv) const
{
    if (!acceptsIv(iv))
        return {};
    const QByteArray schedule = keySchedule(key);
    if (schedule.isEmpty())
        return {};
    const QByteArray text = padded(plain);
    const quint8 *roundKeys = bytesOf(schedule);
    switch (m_mode) {
    case ECB:
        return runEcb(text, roundKeys, false);
    case CBC:
        return encryptCbc(text, roundKeys, iv);
    case CFB:
        return runCfb(text, roundKeys, iv, false);
    case OFB:
        return runOfb(text, roundKeys, iv);
    default:
        return {};
    }
}

QByteArray AesCipher::decrypt(const QByteArray &cipher, const QByteArray &key,
                              const QByteArray &iv) const
{
    if (!acceptsIv(iv))
        return {};
    const bool wholeBlocksOnly = m_mode == ECB || m_mode == CBC;
    if (wholeBlocksOnly && cipher.size() % BLOCK != 0)
        return {};
    const QByteArray schedule = keySchedule(key);
    if (schedule.isEmpty())
        return {};
    const quint8 *roundKeys = bytesOf(schedule);
    switch (m_mode) {
    case ECB:
        return runEcb(cipher, roundKeys, true);
    case CBC:
        return decryptCbc(cipher, roundKeys, iv);
    case CFB:
        return runCfb(cipher, roundKeys, iv, true);
    case OFB:
        return runOfb(cipher, roundKeys, iv);
    default:
        return {};
    }
}

QByteArray AesCipher::keySchedule(const QByteArray &key) const
{
    const int keyBytes = 4 * m_keyWords;
    if (key.size() < keyBytes)
        return {};
    const int totalWords = 4 * (m_rounds + 1);
    QByteArray schedule(4 * totalWords, Qt::Uninitialized);
    quint8 *words = writableBytesOf(schedule);
    std::memcpy(words, key.constData(), keyBytes);
    for (int i = m_keyWords; i < totalWords; ++i) {
        quint8 word[4];
        std::memcpy(word, words + 4 * (i - 1), 4);
        if (i % m_keyWords == 0) {
            rotWord(word);
            substitute(word, 4, SBOX);
            word[0] ^= RCON[i / m_keyWords];
        } else if (m_keyWords == 8 && i % m_keyWords == 4) {
            substitute(word, 4, SBOX);
        }
        xorInto(word, words + 4 * (i - m_keyWords), 4);
        std::memcpy(words + 4 * i, word, 4);
    }
    return schedule;
}

QByteArray AesCipher::stripPadding(const QByteArray &text) const
{
    if (text.isEmpty())
        return text;
    switch (m_padding) {
    case ZERO:
        return text.left(lastNonZero(text) + 1);
    case PKCS7: {
        const int count = quint8(text.back());
        if (count == 0 || count > text.size())
            return text;
        return text.left(text.size() - count);
    }
    case ISO: {
        const int last = lastNonZero(text);
        if (last >= 0 && quint8(text.at(last)) == 0x80)
            return text.left(last);
        return text;
    }
    default:
        return text;
    }
}

QByteArray AesCipher::encrypt(int level, int mode, const QByteArray &plain, const QByteArray &key,
                              const QByteArray &iv, int padding)
{
    return AesCipher(level, mode, padding).encrypt(plain, key, iv);
}

QByteArray AesCipher::decrypt(int level, int mode, const QByteArray &cipher, const QByteArray &key,
                              const QByteArray &iv, int padding)
{
    return AesCipher(level, mode, padding).decrypt(cipher, key, iv);
}

QByteArray AesCipher::keySchedule(int level, int mode, const QByteArray &key)
{
    return AesCipher(level, mode, ISO).keySchedule(key);
}

QByteArray AesCipher::stripPadding(const QByteArray &text, int padding)
{
    return AesCipher(AES_128, ECB, padding).stripPadding(text);
}

bool AesCipher::acceptsIv(const QByteArray &iv) const
{
    return m_mode == ECB || iv.size() == BLOCK;
}

QByteArray AesCipher::padded(const QByteArray &plain) const
{
    const int missing = (BLOCK - plain.size() % BLOCK) % BLOCK;
    QByteArray text = plain;
    switch (m_padding) {
    case PKCS7: {
        const int count = missing == 0 ? BLOCK : missing;
        text.append(count, char(count));
        break;
    }
    case ISO: {
        // Always at least the 0x80 byte, so a text that already ends in 0x80 (and zeros)
        // survives stripping.
        const int count = missing == 0 ? BLOCK : missing;
        text.append(char(0x80));
        text.append(count - 1, '\0');
        break;
    }
    default:
        text.append(missing, '\0');
        break;
    }
    return text;
}

void AesCipher::encryptBlock(const quint8 *schedule, quint8 *state) const
{
    addRoundKey(state, schedule);
    for (int round = 1; round < m_rounds; ++round) {
        subBytes(state);
        shiftRows(state);
        mixColumns(state);
        addRoundKey(state, schedule + BLOCK * round);
    }
    subBytes(state);
    shiftRows(state);
    addRoundKey(state, schedule + BLOCK * m_rounds);
}

void AesCipher::decryptBlock(const quint8 *schedule, quint8 *state) const
{
    addRoundKey(state, schedule + BLOCK * m_rounds);
    for (int round = m_rounds - 1; round >= 1; --round) {
        invShiftRows(state);
        invSubBytes(state);
        addRoundKey(state, schedule + BLOCK * round);
        invMixColumns(state);
    }
    invShiftRows(state);
    invSubBytes(state);
    addRoundKey(state, schedule);
}

// text holds whole blocks only.
QByteArray AesCipher::runEcb(const QByteArray &text, const quint8 *schedule, bool decrypting) const
{
    QByteArray result = text;
    quint8 *data = writableBytesOf(result);
    for (int offset = 0; offset < result.size(); offset += BLOCK) {
        if (decrypting)
            decryptBlock(schedule, data + offset);
        else
            encryptBlock(schedule, data + offset);
    }
    return result;
}

// plain holds whole blocks only; iv is 16 bytes.
QByteArray AesCipher::encryptCbc(const QByteArray &plain, const quint8 *schedule,
                                 const QByteArray &iv) const
{
    QByteArray result = plain;
    quint8 *data = writableBytesOf(result);
    const quint8 *chain = bytesOf(iv);
    for (int offset = 0; offset < result.size(); offset += BLOCK) {
        xorInto(data + offset, chain, BLOCK);
        encryptBlock(schedule, data + offset);
        chain = data + offset;
    }
    return result;
}

// cipher holds whole blocks only; iv is 16 bytes.
QByteArray AesCipher::decryptCbc(const QByteArray &cipher, const quint8 *schedule,
                                 const QByteArray &iv) const
{
    QByteArray result = cipher;
    quint8 *data = writableBytesOf(result);
    const quint8 *previous = bytesOf(iv);
    for (int offset = 0; offset < result.size(); offset += BLOCK) {
        decryptBlock(schedule, data + offset);
        xorInto(data + offset, previous, BLOCK);
        previous = bytesOf(cipher) + offset;
    }
    return result;
}

// The feedback is always the cipher text: the output when enciphering, the input when
// deciphering. A short last block takes as many key-stream bytes as it has.
QByteArray AesCipher::runCfb(const QByteArray &text, const quint8 *schedule, const QByteArray &iv,
                             bool decrypting) const
{
    QByteArray result = text;
    quint8 *data = writableBytesOf(result);
    const quint8 *input = bytesOf(text);
    quint8 feedback[BLOCK];
    std::memcpy(feedback, iv.constData(), BLOCK);
    for (int offset = 0; offset < result.size(); offset += BLOCK) {
        encryptBlock(schedule, feedback);
        const int count = qMin(BLOCK, result.size() - offset);
        xorInto(data + offset, feedback, count);
        if (count == BLOCK)
            std::memcpy(feedback, decrypting ? input + offset : data + offset, BLOCK);
    }
    return result;
}

// The key stream is the IV enciphered again and again; the same operation in both directions.
QByteArray AesCipher::runOfb(const QByteArray &text, const quint8 *schedule,
                             const QByteArray &iv) const
{
    QByteArray result = text;
    quint8 *data = writableBytesOf(result);
    quint8 keyStream[BLOCK];
    std::memcpy(keyStream, iv.constData(), BLOCK);
    for (int offset = 0; offset < result.size(); offset += BLOCK) {
        encryptBlock(schedule, keyStream);
        xorInto(data + offset, keyStream, qMin(BLOCK, result.size() - offset));
    }
    return result;
}
