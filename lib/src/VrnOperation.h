// The preamble of every operation: the session's exchange lock for the operation's whole
// scope, and under it the handle check (3 in serial mode, 14 in UDP mode without a handle).
#pragma once

#include "Vrnlib.h"

class CVrnOperation {
public:
    explicit CVrnOperation(CVrnlib& session)
        : m_guard(session), m_status(session.VrnCheckHandle()) {}
    CVrnOperation(const CVrnOperation&) = delete;
    CVrnOperation& operator=(const CVrnOperation&) = delete;

    // 0 when the operation may go on, else the status to return.
    int Status() const { return m_status; }

private:
    CVrnExchangeGuard m_guard; // first: the check runs under the lock
    int m_status;
};
