// Fuzz target for everything the tool decodes from the line: the reply
// classification and CRC check, the error-reply texts, the device-information
// decoders and their display formatters, and the transfer frames (blocks,
// start-loading requests, log replies). See fuzzdriver.h for how to run it.
#include "fuzz/fuzzdriver.h"
#include "protocol/deviceinfo.h"
#include "protocol/frame.h"
#include "transfer/transferframes.h"

#include <QByteArray>

#include <cstdlib>

namespace
{

quint16 word(const QByteArray &bytes, int offset)
{
    if (bytes.size() < offset + 2)
        return 0;
    return quint16((quint8(bytes.at(offset)) << 8) | quint8(bytes.at(offset + 1)));
}

void formatEverything(const QByteArray &bytes)
{
    formatVersion(word(bytes, 0));
    formatDottedQuad(bytes.left(4));
    formatMacColons(bytes.left(6));
    stopBitText(word(bytes, 2));
    parityText(word(bytes, 4));
    encryptionText(word(bytes, 6));
    decodeModuleText(bytes);
}

void decodeEverything(const QByteArray &bytes)
{
    classifyReply(bytes);
    checkReplyCrc(bytes);
    errorEffect(errorCodeOf(bytes));
    VersionInfo version;
    if (decodeVersionReply(bytes, &version)) {
        formatVersion(version.software);
        formatVersion(version.hardware);
    }
    UartInfo uart;
    if (decodeUartReply(bytes, &uart)) {
        stopBitText(uart.stopBitCode);
        parityText(uart.parityCode);
    }
    WifiInfo wifi;
    if (decodeWifiReply(bytes, &wifi)) {
        formatDottedQuad(wifi.ip);
        formatMacColons(wifi.mac);
        encryptionText(wifi.encryptionCode);
    }
    FeInfo fe;
    if (decodeFeReply(bytes, &fe)) {
        formatDottedQuad(fe.mask);
        formatMacColons(fe.mac);
    }
}

void parseTransferFrames(const QByteArray &bytes)
{
    quint8 number = 0;
    QByteArray data;
    transferBlockLength(bytes.isEmpty() ? '\0' : bytes.at(0));
    if (parseTransferBlock(bytes, &number, &data) && buildTransferBlock(number, data) != bytes)
        std::abort(); // a block that parses must be the block its parts build
    LogAnnouncement log;
    parseLogReply(bytes, &log);
    LoadingAnnouncement loading;
    parseStartLoadingRequest(bytes, &loading);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    // An exact heap copy, so that a read past the end is caught.
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    decodeEverything(bytes);
    formatEverything(bytes);
    parseTransferFrames(bytes);
    return 0;
}

MAINT_FUZZ_RANDOM_MAIN(QByteArray::fromHex("0103"), QByteArray::fromHex("0183"),
                       QByteArray::fromHex("0190"), QByteArray::fromHex("014101"),
                       QByteArray::fromHex("014105"), QByteArray::fromHex("01"),
                       QByteArray::fromHex("02"), QByteArray())
