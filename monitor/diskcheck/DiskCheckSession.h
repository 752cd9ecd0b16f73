#pragma once
// What a disk-checking worker asks of a controller, one call per library operation it uses.
// The library session sits behind it in the program; tests put a scripted controller there
// to drive the status sequences a real drive takes minutes or hours to produce.

#include "Vrnlib.h"

#include <cstdint>
#include <memory>

class IDiskCheckSession {
public:
    virtual ~IDiskCheckSession() = default;

    // Each returns the library's status: 0 on success.
    virtual int GetSysInfo(sSYSTEM_INFO* info) = 0;
    virtual int GetPhysicalDriveInfo(int drive, sGUI_PHY_DRV* info) = 0;
    virtual int GetVolSetInfo(int volumeSet, sGUI_VOLUMESET* info) = 0;
    // VrnExeSMART: sub-command, drive channel, argument, buffer (512 bytes for the pages, at
    // least 18 for the read/write test status; null for the others).
    virtual int ExeSMART(int sub, int drive, int arg, unsigned char* buffer) = 0;
    virtual int ChkPassword(const char* password) = 0;
    virtual int CreateRaidSet(std::uint32_t mask, const char* name) = 0;
    virtual int CreateVolSet(_VOLUMESET_CAP* cap) = 0;
};

// A controller reached through a library session. The session may be shared with the
// agent's monitor thread: the library's exchange lock keeps one exchange in flight at a
// time, so neither side can take the other's reply.
class CLibrarySession : public IDiskCheckSession {
public:
    explicit CLibrarySession(std::shared_ptr<CVrnlibSMART> session)
        : m_session(std::move(session)) {}

    int GetSysInfo(sSYSTEM_INFO* info) override { return m_session->VrnGetSysInfo(info); }
    int GetPhysicalDriveInfo(int drive, sGUI_PHY_DRV* info) override {
        return m_session->VrnGetPhysicalDriveInfo(static_cast<char>(drive), info);
    }
    int GetVolSetInfo(int volumeSet, sGUI_VOLUMESET* info) override {
        return m_session->VrnGetVolSetInfo(static_cast<char>(volumeSet), info);
    }
    int ExeSMART(int sub, int drive, int arg, unsigned char* buffer) override {
        return m_session->VrnExeSMART(sub, static_cast<unsigned char>(drive),
                                      static_cast<unsigned char>(arg), buffer);
    }
    int ChkPassword(const char* password) override { return m_session->VrnChkPassword(password); }
    int CreateRaidSet(std::uint32_t mask, const char* name) override {
        return m_session->VrnCreateRaidSet(mask, name);
    }
    int CreateVolSet(_VOLUMESET_CAP* cap) override { return m_session->VrnCreateVolSet(cap); }

private:
    std::shared_ptr<CVrnlibSMART> m_session;
};
