// Fuzz target for everything that decodes bytes received from the line: the
// reply classification and CRC check, the device-information decoders, the
// transfer announcements, and the module simulator's request parser.
//
// With clang's libFuzzer:
//   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DMAINT_FUZZ_LIBFUZZER=ON
//   cmake --build build-fuzz --target fuzz_replies && build-fuzz/fuzz/fuzz_replies
// Without it the same target is a plain program that feeds random inputs
// (CTest runs it that way, and under the sanitizers in CI).
#include "protocol/deviceinfo.h"
#include "protocol/frame.h"
#include "simulator/modulemodel.h"
#include "transfer/transferframes.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <random>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact heap copy, so that a read past the end is caught.
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));

    classifyReply(bytes);
    checkReplyCrc(bytes);
    errorCodeOf(bytes);
    VersionInfo version;
    UartInfo uart;
    WifiInfo wifi;
    FeInfo fe;
    decodeVersionReply(bytes, &version);
    decodeUartReply(bytes, &uart);
    decodeWifiReply(bytes, &wifi);
    decodeFeReply(bytes, &fe);
    decodeModuleText(bytes);
    LogAnnouncement log;
    parseLogReply(bytes, &log);
    LoadingAnnouncement loading;
    parseStartLoadingRequest(bytes, &loading);

    static ModuleModel *model = [] {
        ModuleConfig config;
        config.softwareVersion = 124; // AES-only logins: no key derivation per input
        return new ModuleModel(config);
    }();
    model->feed(bytes);
    return 0;
}

#ifndef MAINT_FUZZ_LIBFUZZER
// Random inputs, biased towards frame-like prefixes so that the decoders get
// past their first checks. Argument: number of inputs (default 20000).
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20000;
    std::mt19937 random(20261208);
    const QByteArray prefixes[] = {QByteArray::fromHex("0103"),   QByteArray::fromHex("0110"),
                                   QByteArray::fromHex("014101"), QByteArray::fromHex("014105"),
                                   QByteArray::fromHex("02"),     QByteArray()};
    for (int run = 0; run < runs; ++run) {
        QByteArray input = prefixes[random() % 6];
        const int length = int(random() % 200);
        for (int i = 0; i < length; ++i)
            input.append(char(random() & 0xFF));
        if (random() % 2)
            appendCrc(input);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()),
                               size_t(input.size()));
    }
    return 0;
}
#endif
