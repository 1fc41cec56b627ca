#pragma once

// The device page's line for the session engine: writes go through the
// page's serial port manager, read pieces come in through the page's
// ReadBytes slot, and a wait sleeps in a nested event loop, so clicks,
// timers and port-list changes are handled while the module answers.
// GUI thread only.

#include "session/sessionlink.h"

class HandleSerialPort;
class QEventLoop;

class SigleDebugLink : public SessionLink
{
public:
    explicit SigleDebugLink(HandleSerialPort *port) : port(port) {}

    // A piece from the port, as the manager delivered it; wakes the wait.
    void received(const QByteArray &piece);
    // Ends the current sleep so the wait looks at its ends again (the
    // cancel flag changed).
    void wake();
    // A wait sleeps (the caller runs nested in it).
    bool waiting() const { return sleeping != nullptr; }

    bool write(const QByteArray &bytes) override;
    WaitEnd waitFor(const LinkWait &wait) override;
    ReadPieces take() override;

private:
    void sleep(int limitMs);

    HandleSerialPort *port;
    ReadPieces rxBuffer; // the pieces read since the engine last took them
    QEventLoop *sleeping = nullptr;
};
