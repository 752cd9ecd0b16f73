// vrnlib: access to a RAID controller over its serial terminal port, either directly or
// through an agent over UDP. One CVrnlib object is one session with one controller.
//
// Every operation returns an int status (see the VRN_ constants below); nothing throws.
#pragma once

#include <netinet/in.h>

#include <ctime>
#include <mutex>

#include "VrnEventText.h"
#include "VrnRecords.h"

#if defined(VRNLIB_BUILD)
#define VRNLIB_API __attribute__((visibility("default")))
#else
#define VRNLIB_API
#endif

// Status codes. Any other value is the controller's answer byte from a 7-byte refusal.
inline constexpr int VRN_OK = 0;
inline constexpr int VRN_NOT_IDENTIFIED = 1; // VrnIdentify: data, but not the identification text
inline constexpr int VRN_BAD_FRAME = 2;      // a reply arrived but is not a valid frame
inline constexpr int VRN_NO_PORT = 3;        // serial mode without an open port
inline constexpr int VRN_WRITE_FAILED = 4;   // the request could not be written
inline constexpr int VRN_NO_REPLY = 5;       // nothing read before the time-out
inline constexpr int VRN_BAD_ARGUMENT = 6;   // null pointer, value or length out of range
inline constexpr int VRN_REFUSED_M = 8;      // the controller answered 'M'
inline constexpr int VRN_REFUSED_J = 9;      // the controller answered 'J'
inline constexpr int VRN_NO_BUFFER = 11;     // a reply buffer could not be obtained
inline constexpr int VRN_NO_SOCKET = 14;     // UDP mode without an open socket
inline constexpr int VRN_OPEN_FAILED = 15;   // the serial port could not be opened or configured
inline constexpr int VRN_BIND_FAILED = 16;   // the UDP socket could not be created or bound

// What a status means, in the words every client prints: the codes above by name, any other
// value from 0 to 255 as the controller's answer byte. The text lives as long as the program.
VRNLIB_API const char* VrnStatusText(int status);

// Transport modes (m_nInterface).
inline constexpr int VRN_IF_SERIAL = 0;
inline constexpr int VRN_IF_UDP = 1;

// Frame limits.
inline constexpr int VRN_MIN_FRAME = 7;         // start bytes, length, one payload byte, checksum
inline constexpr int VRN_MAX_REPLY = 10240;     // largest reply any operation reads
inline constexpr int VRN_DEVICE_PATH_SIZE = 15; // "/dev/" + at most 9 name characters + NUL
inline constexpr int VRN_DEVICE_NAME_MAX = 9;   // a serial device's name below /dev
inline constexpr int VRN_LIB_VERSION = 257;
inline constexpr int VRN_HTTP_PIECE = 1024; // a full HTTP tunnel piece (never answered)

// The UDP port an agent's relay serves stations on.
inline constexpr int VRN_AGENT_PORT = 7890;

class CVrnlib;
class CVrnSerialTransport;
class CVrnUdpTransport;

// The serial transport's primitives: one write of the frame, and the polling read
// (returns the number of bytes gathered, 0 for none).
VRNLIB_API int LinuxWriteCom(const unsigned char* data, int len, CVrnlib* session);
VRNLIB_API int LinuxReadCom(unsigned char* buf, int cap, CVrnlib* session);

class VRNLIB_API CVrnlib {
public:
    // The session's declared fields; their order and types are part of the interface.
    int m_nInterface;               // VRN_IF_SERIAL or VRN_IF_UDP
    int m_hComm;                    // serial port descriptor, -1 when none
    int m_socket;                   // UDP socket, -1 when none
    struct sockaddr_in agentaddr;   // where UDP requests go
    int m_iPreIndex;                // event index seen at the previous event fetch
    int m_iCurrentIndex;            // event index from the latest poll
    int m_iNewCount;                // events fetched by the latest event-page request
    unsigned char* m_pEventPage;    // 518 bytes: the last raw event-page reply
    unsigned char* m_pEventMapping; // 2048 bytes: four 512-byte event pages
    unsigned int m_nTimeout;        // reply wait in UDP mode, seconds

    static constexpr int EVENT_PAGE_SIZE = 518;
    static constexpr int EVENT_MAPPING_SIZE = 2048;

    CVrnlib();
    // Closes the port and socket this session opened itself (an adopted descriptor stays
    // the caller's) and frees the event buffers.
    ~CVrnlib();
    CVrnlib(const CVrnlib&) = delete;
    CVrnlib& operator=(const CVrnlib&) = delete;

    // Opening a session. A later open of the same kind replaces (and closes) the port or
    // socket this session opened earlier; the other kind's handle stays as it was.
    int VrnInitSession(unsigned char port); // serial port by number: 1 is ttyS0
    int VrnInitSession(const char* name);   // serial port by name below /dev, at most 9 chars
    int VrnInitSession(int fd);             // adopt an open descriptor as it is configured
    int VrnInitSession(const char* addr, int port); // UDP through an agent (dotted IPv4)
    // Re-programs the session's open serial port with the record's codes (see sCOM_ATTR):
    // 0, 3 when no port is open, 6 for a null record or a code out of range, 15 when the
    // port refuses the settings (it then keeps its earlier ones).
    int VrnInitSession(sCOM_ATTR* attr);
    // Opens a serial port by name with the record's codes instead of the default
    // 115200 8N1; outcomes as the name form, 6 also for a bad record.
    int VrnInitSession(const char* name, sCOM_ATTR* attr);

    // Out of line on purpose: programs that load the library at run time bind these by name.
    int VrnGetCommHandle();
    int VrnGetSocket();
    struct sockaddr_in* VrnGetAgentAddr();
    int VrnGetLibVersion();
    void VrnSetTimeOut(unsigned int seconds);

    // Raw pass-through for a relay: the bytes go out and come back unchanged. The write
    // first drops any stale input. A caller that pairs the two must hold the exchange lock
    // across both, or another thread's exchange can take its reply.
    int WriteMediaDirect(const unsigned char* frame, int len);
    int ReadMediaDirect(unsigned char* buf, int cap); // a reply filling the buffer counts as 0

    // Status queries. The system information record is zeroed first, so after a failure
    // it reads as zeros; the raid set, volume set and drive records are left untouched by a
    // failure. A reply shorter than its record fills the record's head only (its checksum
    // byte and zeros follow).
    int VrnGetSysInfo(sSYSTEM_INFO* info);
    int VrnGetRaidSetInfo(char raidSet, sGUI_RAIDSET* info);
    int VrnGetVolSetInfo(char volumeSet, sGUI_VOLUMESET* info);
    int VrnGetPhysicalDriveInfo(char drive, sGUI_PHY_DRV* info); // drives count from 0

    // Hardware monitor items of one kind (HWMON_FAN_INFO .. HWMON_UPS_INFO). The record is
    // zeroed first; only items wholly present in the reply are decoded, at most
    // HWMON_MAX_ITEMS, whatever the reply's counts claim. A refusal's byte comes back
    // unmapped ('M' gives 0x4D).
    int VrnGetHWMon(unsigned long kind, _HWMON_INFO* info);
    // The whole monitor reply of a controller with five drive channels, copied unchanged
    // (at most the record's 26 bytes, the rest zero). Any other controller gives 6; a
    // failed system information exchange gives its own status.
    int VrnGetHWMon5010(_HWMON_5010* info);

    // Events. The index runs 0 to 63 and advances by one per new event.
    int VrnPollEvent(int* index);
    // Reads one 16-record event page (0 to 3) into m_pEventPage as it arrives.
    int VrnGetEvent(char page);
    // Fetches the pages holding the new events (newOnly non-zero) or the whole log into
    // m_pEventMapping and reports their number in *count; with status non-zero the count
    // must be ignored. A page that does not arrive whole stops the fetch with a failure.
    // A log reported with more than 64 events counts as 64.
    int VrnGetReqEventPage(char newOnly, int* count);
    // Copies event object index (0 newest .. 63) of the last fetch: 1, or 0 for an index
    // out of range or a null record. No exchange.
    int VrnGetEventObject(int index, sEVET_DATA* event);
    int VrnClearEvent();

    // Identification and settings.
    int VrnIdentify();
    int VrnSetSerial(const char* serial); // at most 16 characters
    int VrnSetVendor(const char* vendor); // at most 40 characters
    int VrnSetModel(const char* model);   // at most 8 characters
    int VrnSetMacAddr(const char* mac);   // 6 raw bytes; any answer but 'A' comes back as is
    int VrnSetTime();                     // the host's local time now
    int VrnMuteBeeper();
    int VrnSetBeeper(unsigned char setting);
    int VrnSetHostMode(unsigned char mode);
    int VrnSetRebuildPriority(unsigned char priority);
    int VrnSetMaxAtaMode(unsigned char mode);
    int VrnSetDhcpIp(unsigned char mode, const unsigned char* ip); // 4 bytes, address order
    // Port 0 or 1, line-speed code 0 to 7, stop-bits value 0 or 1. Once the controller
    // accepts, a serial session's own port follows to the new speed (8N1, input flushed);
    // 15 when the port refuses that speed.
    int VrnSetTermPort(unsigned char port, unsigned char speed, unsigned char stopBits);
    int VrnSetPassword(const char* password); // at most 15 characters; 'J' gives 9
    int VrnChkPassword(const char* password); // at most 15 characters; 'J' gives 9
    int VrnLogOut();
    // Waits 15 s between request and reply, holding the session all the while.
    int VrnResetController();

    // Arrays. Drive masks have bit i for drive i.
    int VrnCreateRaidSet(unsigned long mask, const char* name); // null: no name; at most 16
    int VrnDelRaidSet(char raidSet);
    int VrnActiveRaidSet(char raidSet);
    int VrnCreateHotSpare(unsigned long mask);
    int VrnDeleteHotSpare(unsigned long mask);
    // The record's size field must be right (6 otherwise, before anything else). The
    // capacity in decimal gigabytes goes out as 512-byte sectors, modulo 2^32.
    int VrnCreateVolSet(_VOLUMESET_CAP* cap);
    int VrnDelVolSet(char volumeSet);
    int VrnStartCheckVolume(char volumeSet);
    int VrnStopCheckVolume(char volumeSet);
    int VrnCreatePassthroughDisk(_PASS_DISK_CAP* cap);
    int VrnModifyPassthroughDisk(_PASS_DISK_CAP* cap);
    int VrnDelPassthroughDisk(char drive);

    // HTTP tunnel: sends one piece of 1 to VRN_HTTP_PIECE bytes. A request goes out as full
    // pieces followed by one shorter piece; only that last one is answered, and its response
    // (at most VRN_MAX_REPLY - 6 bytes) lands in response, which must hold VRN_MAX_REPLY
    // bytes. A full piece returns 0 at once with *responseLen 0. A response that does not fit
    // one frame gives 2. A request of an exact multiple of VRN_HTTP_PIECE bytes cannot be
    // ended: a piece of 0 bytes is refused with 6 like any other length out of range.
    int VrnHttp(const char* piece, int len, char* response, int* responseLen);

    // The session's exchange lock: every operation holds it around its request and reply.
    // It is recursive, so an operation may call another, and a caller may hold it across
    // several calls (see CVrnExchangeGuard).
    void VrnLockExchange();
    void VrnUnlockExchange();

protected:
    // How an operation turns a valid reply into its status.
    enum EVrnReply {
        VRN_REPLY_QUERY,    // 7-byte refusal: 'M' gives 8, other bytes unchanged; else copy record
        VRN_REPLY_ACK,      // 'A' 0, 'M' 8, other answer bytes unchanged
        VRN_REPLY_PASSWORD, // 'A' 0, 'J' 9, other answer bytes unchanged
        VRN_REPLY_RAW,      // 7-byte refusal: the byte unchanged; else 0, caller decodes
        VRN_REPLY_VALID,    // any valid reply is 0
        VRN_REPLY_ANSWER,   // 'A' 0, every other answer byte unchanged ('M' included)
        VRN_REPLY_CONFIRM,  // 7-byte reply: 'A' 0, other bytes unchanged; longer: 0
    };

    // Kept for classes built on the session: the session itself needs no initialiser beyond
    // its constructor.
    void InitAllStuffs() {}
    // Opens the named port with the default line settings; false when that fails.
    char SerialInit(const char* name);
    void SerialEndInit() { m_nInterface = VRN_IF_SERIAL; }
    void SocketEndInit() { m_nInterface = VRN_IF_UDP; }
    char SocketInit(const char* addr, int port);
    char IsValidHandle();

    static unsigned char CalCheckSum(const unsigned char* frame, int len);
    static char VrnCkFrameValid(const unsigned char* frame, unsigned long len);
    int WriteCommand(const unsigned char* frame, int len);
    int ReadResultValue(unsigned char* buf, int cap);
    int WaitForReply(int fd, long sec, long usec);
    void VrnSleep(int ms);

    // 0 when the session has a usable handle, otherwise 3 (serial) or 14 (UDP).
    int VrnCheckHandle();

    // One request and its reply: writes the sealed request, reads at most readLimit bytes,
    // checks the frame and applies the pattern. VRN_REPLY_QUERY copies recordSize bytes
    // from reply offset 5 into record on success. When reply is given (at least readLimit
    // bytes) it receives the reply as read and *replyLen its length, for operations that
    // decode the payload themselves. readLimit 0 sends without reading a reply.
    // The caller makes the handle and argument checks first, under the exchange lock.
    int VrnExchange(const unsigned char* request, int requestLen, int readLimit, EVrnReply pattern,
                    void* record = nullptr, int recordSize = 0, unsigned char* reply = nullptr,
                    int* replyLen = nullptr);

    // Test seam: every library sleep (the serial read's poll interval, the UDP settle
    // time) goes through this hook when set.
    typedef void (*PFN_VRN_SLEEP)(void* ctx, int ms);
    void VrnSetSleeper(PFN_VRN_SLEEP fn, void* ctx);

    // Test seam: where VrnSetTime takes the local time from; false when there is none.
    typedef bool (*PFN_VRN_CLOCK)(void* ctx, struct tm* now);
    void VrnSetClock(PFN_VRN_CLOCK fn, void* ctx);

    // The device path the last serial open tried ("/dev/" + name).
    const char* VrnDevicePath() const { return m_szDevicePath; }

private:
    friend int LinuxWriteCom(const unsigned char*, int, CVrnlib*);
    friend int LinuxReadCom(unsigned char*, int, CVrnlib*);
    friend class CVrnSerialTransport;
    friend class CVrnUdpTransport;
    friend class CVrnOperation;

    int OpenSerial(const char* name, const sCOM_ATTR& attr);
    void CloseOwnedComm();
    int NumberedQuery(unsigned char code, char number, void* record, int recordSize);
    // One event page into m_pEventPage; *replyLen gets the reply's length. The caller holds
    // the exchange lock and has checked the handle.
    int FetchEventPage(char page, int* replyLen);
    // The common shapes of the settings and array commands.
    int SendNumber(unsigned char code, unsigned char value, int readLimit);
    int SendMask(unsigned char code, unsigned long mask);
    int SendPassDisk(unsigned char code, const _PASS_DISK_CAP* cap);

    std::recursive_mutex m_ExchangeLock;
    PFN_VRN_SLEEP m_pfnSleep = nullptr;
    void* m_pSleepCtx = nullptr;
    PFN_VRN_CLOCK m_pfnClock = nullptr;
    void* m_pClockCtx = nullptr;
    bool m_bOwnComm = false; // m_hComm was opened by this session, not adopted
    char m_szDevicePath[VRN_DEVICE_PATH_SIZE] = {};
};

// SMART functions and the controller's drive read/write test; opened and used like any
// session.
class VRNLIB_API CVrnlibSMART : public CVrnlib {
public:
    // Sub-commands of VrnExeSMART.
    static constexpr int SMART_READ_DATA = 0;         // 512-byte page into buffer
    static constexpr int SMART_READ_THRESHOLDS = 1;   // 512-byte page into buffer
    static constexpr int SMART_OFFLINE_IMMEDIATE = 4; // arg selects the routine
    static constexpr int SMART_ENABLE = 8;
    static constexpr int SMART_DISABLE = 9;
    static constexpr int SMART_RW_TEST_START = 16;  // arg is the test mode
    static constexpr int SMART_RW_TEST_STATUS = 18; // 18 or 12 bytes into buffer

    // No handle check of its own: without a port the write fails and the result is 4.
    // Sub-commands 4, 8 and 9 give 1 when the drive reports a failure. A reply that is not
    // the length the sub-command is answered with gives 2 and leaves the buffer alone.
    int VrnExeSMART(int sub, unsigned char drive, unsigned char arg, unsigned char* buffer);
};

// Holds a session's exchange lock for a scope, e.g. around WriteMediaDirect and the
// ReadMediaDirect that collects its reply.
class CVrnExchangeGuard {
public:
    explicit CVrnExchangeGuard(CVrnlib& session) : m_session(session) {
        m_session.VrnLockExchange();
    }
    ~CVrnExchangeGuard() { m_session.VrnUnlockExchange(); }
    CVrnExchangeGuard(const CVrnExchangeGuard&) = delete;
    CVrnExchangeGuard& operator=(const CVrnExchangeGuard&) = delete;

private:
    CVrnlib& m_session;
};
