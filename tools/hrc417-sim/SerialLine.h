// The simulator's end of the serial line: a new pseudo-terminal, an existing
// serial device (one end of a null-modem cable, an RS-485 adapter), or a TCP
// port that one client at a time connects to, as to a serial device server.
#pragma once

#include <QString>

#include <cstddef>

struct LineSettings {
    int baud = 9600;
    int dataBits = 8;
    int parity = 0;    // 0 none, 1 even, 2 odd
    int stopBits = 1;
};

class SerialLine {
public:
    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Creates a pseudo-terminal. The simulator keeps a descriptor of the
    // client side open, so that the line stays up while no client has it
    // open and a client may close and reopen it; that side is set raw.
    bool openPseudoTerminal(QString& error);
    bool openDevice(const QString& path, const LineSettings& settings, QString& error);
    // Applies new line settings to a serial device (no-op on a pty).
    bool reconfigure(const LineSettings& settings, QString& error);
    bool isDevice() const { return isDevice_; }

    // Listens on "tcp:HOST:PORT" (HOST a name, an IPv4 address or [IPv6];
    // PORT 0 = a free one). clientPath() is then tcp://HOST:PORT and fd()
    // the connected client's stream (-1 while there is none).
    bool openListener(const QString& spec, QString& error);
    bool isNetwork() const { return listenFd_ >= 0; }
    int listenFd() const { return listenFd_; }
    bool hasClient() const { return fd_ >= 0; }
    // Takes the next waiting client; with a client already there, the new
    // one is closed at once (refused) and false is returned.
    bool acceptClient(QString& peer);
    void dropClient();

    // The speed a client set on the pseudo-terminal (0 when unknown or not
    // a pseudo-terminal).
    int clientBaud() const;

    int fd() const { return fd_; }
    // The terminal a client opens: the pty's slave, or the device itself.
    const QString& clientPath() const { return clientPath_; }

    // Non-blocking read; returns bytes read, 0 if none, -1 on a line error
    // (and when a network client has left).
    long read(char* buffer, size_t size);
    // Writes all bytes, waiting at most timeoutMs for room in the line's
    // buffer (a client that stopped reading must not stall the device).
    bool write(const char* bytes, size_t count, int timeoutMs = 200);
    // Waits until everything written has left (serial devices only).
    void drain();

private:
    int fd_ = -1;
    int slaveFd_ = -1;
    int listenFd_ = -1;
    bool isDevice_ = false;
    QString clientPath_;
};
