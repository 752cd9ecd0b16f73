// The two ways a session reaches its controller. The frame exchange above them is the same;
// only writing a frame, reading one reply and dropping stale input differ.
#pragma once

#include "Vrnlib.h"

class CVrnTransport {
public:
    // Bytes written, 0 when nothing could be written.
    virtual int Write(CVrnlib& session, const unsigned char* data, int len) const = 0;
    // Bytes of one reply read into buf (at most cap), 0 for none.
    virtual int Read(CVrnlib& session, unsigned char* buf, int cap) const = 0;
    // Discards whatever input is already waiting (a late reply of an earlier exchange),
    // without waiting for more.
    virtual void DropStale(CVrnlib& session) const = 0;

protected:
    ~CVrnTransport() = default;
};

// The two transports, and the transport of a mode (nullptr for a mode that has none).
const CVrnTransport& VrnSerialTransport();
const CVrnTransport& VrnUdpTransport();
const CVrnTransport* VrnTransportFor(int nInterface);

namespace vrn {

// The host line settings for a port opened by the library: 115200 baud, 8 data bits, no
// parity, one stop bit, no flow control.
inline constexpr sCOM_ATTR DEFAULT_LINE = {7, 1, 0, 0, 0};

// True when every code of the record lies in its table.
bool LineAttrValid(const sCOM_ATTR& attr);

// Puts a terminal into raw mode with the given line settings, reads returning at once
// with whatever has arrived; flushes its input first. False when the descriptor refuses.
bool ConfigureLine(int fd, const sCOM_ATTR& attr);

} // namespace vrn
