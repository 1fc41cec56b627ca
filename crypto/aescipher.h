#pragma once

#include <QByteArray>
#include <QObject>

// AES block cipher (FIPS-197) with 128-, 192- and 256-bit keys, the ECB, CBC, CFB-128 and OFB
// modes and three padding schemes. Works on byte arrays only: it prints nothing and every
// failure is an empty result. The key schedule is rebuilt on every call, so one engine can be
// used for any number of calls, from one thread at a time.
class AesCipher : public QObject
{
public:
    // Any level value other than AES_192 and AES_256 means AES-128.
    enum Level { AES_128 = 0, AES_192 = 1, AES_256 = 2 };
    enum Mode { ECB = 0, CBC = 1, CFB = 2, OFB = 3 };
    // ZERO appends zero bytes up to a whole block (none for whole blocks); PKCS7 appends k bytes
    // of value k, 1 <= k <= 16; ISO appends 0x80 and zero bytes, 1 to 16 bytes in all. PKCS7
    // and ISO always append, so stripping restores any text. Any other value pads like ZERO
    // and strips nothing.
    enum Padding { ZERO = 0, PKCS7 = 1, ISO = 2 };

    static constexpr int BLOCK_LENGTH = 16;

    AesCipher(int level, int mode, int padding);

    // Pads the plain text and enciphers it. Empty result when the mode is unknown, when a mode
    // other than ECB gets an IV that is not exactly 16 bytes long, or when the key is shorter
    // than the level's key length. Key bytes beyond the key length are ignored.
    QByteArray encrypt(const QByteArray &plain, const QByteArray &key, const QByteArray &iv) const;
    // Deciphers; the padding is left in place (see stripPadding). Same empty results as
    // encrypt, and also for ECB or CBC cipher text whose length is not a multiple of 16.
    // CFB and OFB accept any length: a short last block gives as many plain bytes.
    QByteArray decrypt(const QByteArray &cipher, const QByteArray &key, const QByteArray &iv) const;
    // The expanded key, 16 * (rounds + 1) bytes; empty when the key is too short.
    QByteArray keySchedule(const QByteArray &key) const;
    // The text without the padding of this engine's scheme; an empty text stays empty. ZERO
    // drops all trailing zero bytes; PKCS7 drops as many bytes as the last byte's value, none
    // when that is 0 or more than the length; ISO cuts at the last non-zero byte when that is
    // 0x80 and otherwise keeps the text.
    QByteArray stripPadding(const QByteArray &text) const;

    // One-shot forms on a temporary engine.
    static QByteArray encrypt(int level, int mode, const QByteArray &plain, const QByteArray &key,
                              const QByteArray &iv, int padding);
    static QByteArray decrypt(int level, int mode, const QByteArray &cipher, const QByteArray &key,
                              const QByteArray &iv, int padding);
    static QByteArray keySchedule(int level, int mode, const QByteArray &key);
    static QByteArray stripPadding(const QByteArray &text, int padding);

private:
    bool acceptsIv(const QByteArray &iv) const;
    QByteArray padded(const QByteArray &plain) const;
    void encryptBlock(const quint8 *schedule, quint8 *state) const;
    void decryptBlock(const quint8 *schedule, quint8 *state) const;
    QByteArray runEcb(const QByteArray &text, const quint8 *schedule, bool decrypting) const;
    QByteArray encryptCbc(const QByteArray &plain, const quint8 *schedule,
                          const QByteArray &iv) const;
    QByteArray decryptCbc(const QByteArray &cipher, const quint8 *schedule,
                          const QByteArray &iv) const;
    QByteArray runCfb(const QByteArray &text, const quint8 *schedule, const QByteArray &iv,
                      bool decrypting) const;
    QByteArray runOfb(const QByteArray &text, const quint8 *schedule, const QByteArray &iv) const;

    int m_mode;
    int m_padding;
    int m_keyWords; // Nk
    int m_rounds;   // Nr
};
