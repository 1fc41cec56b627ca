// Fuzz target for the file transfers' decisions on bytes from the line: the
// log reply judge and name check, the judges of the replies to start
// loading, to a block, to EOT and to CAN, and the receive loop's
// bookkeeping, with the promises they make checked on every input.
//
// See fuzzdriver.h for how to run it; its plain driver makes inputs of its
// own kind (below) after replaying the corpus.
#include "fuzz/fuzzdriver.h"
#include "protocol/frame.h"
#include "transfer/logreceive.h"
#include "transfer/transferframes.h"
#include "transfer/upgradejudge.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace
{

// Longer inputs add nothing: a log reply is at most 261 bytes and a chunk
// of the receive loop is cut to a few blocks.
constexpr size_t MAX_INPUT_BYTES = 4096;

void require(bool promise, const char *what)
{
    if (!promise) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

void judgeLogReply(const QByteArray &bytes)
{
    LogAnnouncement announced;
    announced.size = -1;
    const LogRequestReply judged = judgeLogRequestReply(bytes, &announced);
    if (judged != LogRequestReply::Accepted) {
        require(announced.size == -1, "a refused log reply leaves the announcement untouched");
        return;
    }
    require(bytes.size() > Transfer::ANNOUNCEMENT_FIXED && checkReplyCrc(bytes),
            "an accepted log reply is long enough and its CRC holds");
    require(announced.digest.size() == quint8(bytes.at(3)) - Transfer::ANNOUNCEMENT_FIXED,
            "the digest length is N - 69");
    require(announced.size >= 0, "the announced size is never negative");
    if (isSafeLogFileName(announced.fileName))
        require(!announced.fileName.contains(QLatin1Char('/')) &&
                    !announced.fileName.contains(QLatin1Char('\\')),
                "a safe name names no other directory");
}

void judgeReplies(const QByteArray &bytes)
{
    const int resends = bytes.isEmpty() ? 0 : quint8(bytes.at(0)) % 8;
    const BlockStep step = judgeBlockReply(bytes, resends);
    if (step == BlockStep::Resend)
        require(resends < Upgrade::MAX_RESENDS, "no more than five resends");
    if (judgeStartReply(bytes) == StartReply::Ready)
        require(bytes == QByteArray(1, Transfer::READY), "only a lone C starts the upgrade");
    if (judgeVerdictReply(bytes) == Verdict::Accepted)
        require(bytes == QByteArray(1, Transfer::ACK), "only a lone ACK accepts the image");
    if (judgeStopReply(bytes) == StopReply::Acknowledged)
        require(bytes == QByteArray(1, Transfer::ACK), "only a lone ACK confirms the stop");
}

// The input as the passes of one upload: the first two bytes give the
// announced size, the rest is cut into chunks at lengths the input chooses.
void receiveStream(const QByteArray &bytes)
{
    if (bytes.size() < 2)
        return;
    const qint32 expected = (quint8(bytes.at(0)) << 8) | quint8(bytes.at(1));
    LogReceiver receiver(expected);
    qint64 written = 0;
    int offset = 2;
    while (offset < bytes.size()) {
        const int length = 5 + quint8(bytes.at(offset)) * 8; // 1029 and 133 are both 5 + 8k
        const QByteArray chunk = bytes.mid(offset + 1, length);
        offset += 1 + length;
        const LogReceiver::Result result = receiver.take(chunk);
        written += result.toWrite.size();
        require(written <= expected, "never more than the announced size is written");
        require(written == receiver.written(), "the receiver counts what it hands out");
        if (result.outcome != LogReceiver::Outcome::Written)
            require(result.toWrite.isEmpty(), "a refused chunk writes nothing");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > MAX_INPUT_BYTES)
        return 0;
    // An exact heap copy, so that a read past the end is caught.
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    judgeLogReply(bytes);
    judgeReplies(bytes);
    receiveStream(bytes);
    logDigestMatches(bytes, QByteArray(64, 'a'), QByteArray(40, 'a'));
    return 0;
}

#ifndef MAINT_FUZZ_LIBFUZZER
// Random inputs, biased towards log replies with a good CRC, lone signals
// and streams of real blocks. Arguments: number of inputs (default 20000),
// corpus directory to replay first.
int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int replayed = argc > 2 ? FuzzDriver::replayCorpus(QString::fromLocal8Bit(argv[2])) : 0;
    std::mt19937 random(20261208);
    for (int run = 0; run < runs; ++run) {
        QByteArray input;
        switch (random() % 4) {
        case 0: { // a log reply, N and fields random
            input = QByteArray::fromHex("014105");
            const int length = 70 + int(random() % 200);
            for (int i = 0; i < length; ++i)
                input.append(char(random() & 0xFF));
            appendCrc(input);
            break;
        }
        case 1: // a lone signal or a short reply
            for (int i = int(random() % 4); i > 0; --i)
                input.append(char(random() % 2 ? 0x06 : random() & 0xFF));
            break;
        case 2: { // a size, then chunk lengths and real blocks, some cut short
            input.append(char(random() & 0xFF)).append(char(random() & 0xFF));
            for (int blocks = int(random() % 6); blocks > 0; --blocks) {
                QByteArray data(random() % 2 ? 1024 : 128, char(random() & 0xFF));
                const QByteArray frame = buildTransferBlock(quint8(random()), data);
                const int kept = random() % 3 ? frame.size() : int(random() % frame.size());
                input.append(char(qMax(0, kept - 5) / 8));
                input.append(frame.left(kept));
            }
            break;
        }
        default:
            for (int i = int(random() % 300); i > 0; --i)
                input.append(char(random() & 0xFF));
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()),
                               size_t(input.size()));
    }
    std::printf("%d corpus inputs, %d random inputs: no fault\n", replayed, runs);
    return 0;
}
#endif
