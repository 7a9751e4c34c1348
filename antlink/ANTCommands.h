#pragma once
// The ANT library as the program sees it: the fifteen calls it makes, always
// fire-and-forget (answers come back through the two callbacks), plus a few
// questions about the stick that the later layers ask.
//
// Callbacks run on a thread of the library, one at a time, in the order the
// stick sent what they report. The library writes the registered buffer just
// before each call (4 bytes for a response, 9 for a channel event) and never
// more. Once an assign call with an empty callback has returned, that callback
// is not running and will not run again; after ANT_Close no callback runs.
// A callback may call the library (sends, assigns) but must not wait for
// another thread that is itself calling the library.

#include <functional>
#include <string>

#include "antlink/AntTypes.h"

namespace fota::ant {

class AntLibrary {
public:
    virtual ~AntLibrary() = default;
    AntLibrary() = default;
    AntLibrary(const AntLibrary&) = delete;
    AntLibrary& operator=(const AntLibrary&) = delete;

    // Opens stick number usbDeviceNum at baudrate and checks that it answers.
    // TRUE only when a stick answered. portType and frameType are kept for the
    // callers' sake (they pass 0) and change nothing.
    virtual BOOL ANT_Init(UCHAR usbDeviceNum, ULONG baudrate, UCHAR portType, UCHAR frameType) = 0;

    // Registers (or, with an empty function, removes) the response callback
    // and the 4-byte buffer written before each call: byte 0 channel, byte 1
    // ID of the answered command, byte 2 response code, byte 3 whatever the
    // response carried after the code (0 when nothing).
    virtual void ANT_AssignResponseFunction(ResponseFunc func, UCHAR* responseBuffer) = 0;

    // The same for one channel's events and its 9-byte receive buffer: byte 0
    // channel, bytes 1 to 8 the received page (zero for RF events).
    virtual void ANT_AssignChannelEventFunction(UCHAR channel, ChannelEventFunc func,
                                                UCHAR* rxBuffer) = 0;

    virtual BOOL ANT_ResetSystem() = 0;
    virtual BOOL ANT_SetNetworkKey(UCHAR net, const UCHAR* key8) = 0;
    virtual BOOL ANT_AssignChannel(UCHAR channel, UCHAR channelType, UCHAR net) = 0;
    virtual BOOL ANT_SetChannelId(UCHAR channel, USHORT deviceNumber, UCHAR deviceType,
                                  UCHAR transmissionType) = 0;
    virtual BOOL ANT_SetChannelPeriod(UCHAR channel, USHORT period) = 0;
    virtual BOOL ANT_SetChannelSearchTimeout(UCHAR channel, UCHAR timeout) = 0;
    virtual BOOL ANT_SetChannelRFFreq(UCHAR channel, UCHAR rfFrequency) = 0;
    virtual BOOL ANT_OpenChannel(UCHAR channel) = 0;
    virtual BOOL ANT_SendAcknowledgedData(UCHAR channel, const UCHAR* data8) = 0;
    virtual BOOL ANT_SendBroadcastData(UCHAR channel, const UCHAR* data8) = 0;
    // packets consecutive 8-byte packets from data, sent as one burst.
    virtual BOOL ANT_SendBurstTransfer(UCHAR channel, const UCHAR* data, USHORT packets) = 0;

    // Forgets the callbacks and the stick-lost handler, stops the library's
    // thread and releases the stick. Safe to call more than once, and from a
    // callback (the thread then ends by itself).
    virtual void ANT_Close() = 0;

    // True only while the opened stick is the simulator: images made for the
    // demo are never sent anywhere else.
    virtual bool isSimulated() const = 0;

    // True once the opened stick has gone (unplugged, line failed): nothing
    // more will be delivered and sends return FALSE until the next ANT_Init.
    virtual bool stickLost() const { return false; }
    // Called once, on the library's thread or a sending thread, when the stick
    // goes (not when it was already gone before the handler was set). Removing
    // it (empty function) has the same guarantee as the callbacks.
    virtual void setStickLostHandler(std::function<void()> handler) { (void)handler; }

    // Why the last ANT_Init failed or the stick was lost; empty otherwise.
    virtual std::string lastError() const { return {}; }
    // What the user would call the opened stick: "/dev/ttyUSB0", "simulated stick".
    virtual std::string stickDescription() const { return {}; }
};

}  // namespace fota::ant
