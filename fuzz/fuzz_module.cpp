// Fuzz target for the module simulator's request parser, driven through a
// whole session: each input gets a fresh model (nothing carries over from one
// input to the next), optionally logged in first, so that reads, writes, the
// credential change, the upgrade and the log upload are all reached. Time is
// the input's to drive; nothing needs an event loop.
#include "crypto/credential.h"
#include "fuzz/fuzzdriver.h"
#include "protocol/frame.h"
#include "simulator/modulemodel.h"

#include <QByteArray>

namespace
{

const QString ACCOUNT = QStringLiteral("admin");
const QString PASSWORD = QStringLiteral("Secret_789x");

// The login frame of the scheme; derived fields are worked out once.
QByteArray loginFrame(CredentialScheme scheme)
{
    static QByteArray frames[2];
    QByteArray &frame = frames[scheme == CredentialScheme::Derived ? 1 : 0];
    if (frame.isEmpty())
        frame = buildSessionWriteRequest(SessionRequest::Login,
                                         credentialRequestData(ACCOUNT, PASSWORD, scheme));
    return frame;
}

// Input: a header byte, then records of a kind byte, a length byte and that
// many bytes (fewer at the end of the input).
//   header bit 0: log in first; bit 1: firmware 124 (AES-only, SHA-1)
//   kind % 8 == 0: the bytes as they come from the line
//            1: the bytes closed by their CRC (a frame)
//            2: the line goes quiet for the frame silence
//            3: the clock moves on by `length` seconds (session time-out, lock)
//            4: the next request is refused with error code bytes[0]
//            5: NAK the next `length` blocks
//            6: CAN (odd length) or EOT after block `length`
//            7: drop the next reply (odd length) or spoil the next CRCs
void runRecords(ModuleModel &model, qint64 &now, const QByteArray &bytes)
{
    for (int at = 1; at + 2 <= bytes.size();) {
        const int kind = quint8(bytes.at(at)) % 8;
        const int length = quint8(bytes.at(at + 1));
        QByteArray payload = bytes.mid(at + 2, length);
        at += 2 + length;
        switch (kind) {
        case 0:
            model.feed(payload);
            break;
        case 1:
            appendCrc(payload);
            model.feed(payload);
            break;
        case 2:
            now += model.config().frameSilenceMs;
            model.silenceElapsed();
            break;
        case 3:
            now += qint64(length) * 1000;
            break;
        case 4:
            model.answerNextWithError(payload.isEmpty() ? 0 : quint8(payload.at(0)));
            break;
        case 5:
            model.nakNextBlocks(length % 8);
            break;
        case 6:
            (length % 2) ? model.sendCanAfterBlock(length / 2)
                         : model.sendEotAfterBlock(length / 2);
            break;
        default:
            (length % 2) ? model.dropNextReply() : model.corruptNextReplies(length / 2 % 4);
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 8192)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const quint8 header = quint8(bytes.at(0));

    ModuleConfig config;
    config.softwareVersion = (header & 0x02) ? 124 : 125;
    config.loginPassword = PASSWORD;
    config.logSize = 700; // six 128-byte blocks, the last one padded
    qint64 now = 0;
    ModuleModel model(config);
    model.setClock([&now] { return now; });
    if (header & 0x01) {
        const CredentialScheme scheme = config.softwareVersion <= AES_SCHEME_MAX_VERSION
                                            ? CredentialScheme::AesOnly
                                            : CredentialScheme::Derived;
        model.feed(loginFrame(scheme));
        if (!model.sessionOpen())
            std::abort(); // the model must take its own account's login
    }
    runRecords(model, now, bytes);
    return 0;
}

MAINT_FUZZ_RANDOM_MAIN(QByteArray::fromHex("0101080103000000020102"),
                       QByteArray::fromHex("0301070103003100"),
                       QByteArray::fromHex("010109014101060000"), QByteArray::fromHex("0100"),
                       QByteArray::fromHex("01"), QByteArray::fromHex("03"))
