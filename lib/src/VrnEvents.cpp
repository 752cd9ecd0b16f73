// Event retrieval: the controller's event index, its pages, and single records from them.
#include <cstring>

#include "VrnFrame.h"
#include "VrnOperation.h"
#include "Vrnlib.h"

namespace {
constexpr unsigned char CMD_POLL_EVENT = 0x19;
constexpr unsigned char CMD_GET_EVENT = 0x1A;
constexpr unsigned char CMD_CLEAR_EVENT = 0x24;
constexpr int POLL_READ_LIMIT = 7;
constexpr int CLEAR_READ_LIMIT = 7;
constexpr int EVENT_LOG_SIZE = 64;
constexpr int EVENTS_PER_PAGE = 16;
constexpr int EVENT_PAGES = 4;
constexpr int PAGE_BYTES = EVENTS_PER_PAGE * static_cast<int>(sizeof(sEVET_DATA));

static_assert(CVrnlib::EVENT_PAGE_SIZE == PAGE_BYTES + vrn::FRAME_OVERHEAD);
static_assert(CVrnlib::EVENT_MAPPING_SIZE == EVENT_PAGES * PAGE_BYTES);

// An index as the log knows it: a reply byte may hold any value, the log has 64 places.
int LogPosition(int index) {
    return ((index % EVENT_LOG_SIZE) + EVENT_LOG_SIZE) % EVENT_LOG_SIZE;
}
} // namespace

int CVrnlib::VrnPollEvent(int* index) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (index == nullptr)
        return VRN_BAD_ARGUMENT;
    vrn::CVrnRequest request(CMD_POLL_EVENT, 7);
    unsigned char reply[POLL_READ_LIMIT];
    int replyLen = 0;
    const int status = VrnExchange(request.Seal(), request.Length(), POLL_READ_LIMIT,
                                   VRN_REPLY_VALID, nullptr, 0, reply, &replyLen);
    if (status != VRN_OK)
        return status;
    // Every byte value is an index here, 'A' and 'M' included: no answer code is mapped.
    m_iCurrentIndex = reply[5];
    *index = m_iCurrentIndex;
    return VRN_OK;
}

int CVrnlib::FetchEventPage(char page, int* replyLen) {
    *replyLen = 0;
    if (m_pEventPage == nullptr)
        return VRN_NO_BUFFER;
    vrn::CVrnRequest request(CMD_GET_EVENT, 8);
    request.Set(6, static_cast<unsigned char>(page));
    // The page buffer is zeroed by the exchange before the read.
    return VrnExchange(request.Seal(), request.Length(), EVENT_PAGE_SIZE, VRN_REPLY_VALID, nullptr,
                       0, m_pEventPage, replyLen);
}

int CVrnlib::VrnGetEvent(char page) {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    int replyLen = 0;
    return FetchEventPage(page, &replyLen);
}

int CVrnlib::VrnGetReqEventPage(char newOnly, int* count) {
    if (count != nullptr)
        *count = 0;
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    if (count == nullptr || m_pEventMapping == nullptr)
        return count == nullptr ? VRN_BAD_ARGUMENT : VRN_NO_BUFFER;
    int index = 0;
    int status = VrnPollEvent(&index);
    int n = 0;
    if (status == VRN_OK) {
        if (newOnly != 0) {
            const int previous = LogPosition(m_iPreIndex);
            const int current = LogPosition(m_iCurrentIndex);
            if (previous == current)
                return VRN_OK;
            n = current - previous + (previous > current ? EVENT_LOG_SIZE : 0);
        } else {
            sSYSTEM_INFO info;
            // The mapping holds the whole log of 64; a larger count cannot be fetched.
            if (VrnGetSysInfo(&info) == VRN_OK)
                n = info.gsiEvents > EVENT_LOG_SIZE ? EVENT_LOG_SIZE
                                                    : static_cast<int>(info.gsiEvents);
        }
        // One page even for no events, as the controller's own tools do.
        const int pages = (n - 1) / EVENTS_PER_PAGE + 1;
        for (int page = 0; page < pages && page < EVENT_PAGES; ++page) {
            int replyLen = 0;
            status = FetchEventPage(static_cast<char>(page), &replyLen);
            if (status == VRN_OK && replyLen != EVENT_PAGE_SIZE) {
                // A refusal or a short page holds no records; taking it would put its
                // answer byte and zeros into the mapping as events.
                const unsigned char answer = m_pEventPage[5];
                status = replyLen == VRN_MIN_FRAME && answer != 'A'
                             ? vrn::AnswerStatus(answer, vrn::MAP_M)
                             : VRN_BAD_FRAME;
            }
            if (status != VRN_OK)
                break;
            std::memcpy(m_pEventMapping + (EVENT_PAGES - 1 - page) * PAGE_BYTES, m_pEventPage + 5,
                        PAGE_BYTES);
        }
    }
    m_iPreIndex = m_iCurrentIndex;
    *count = n;
    m_iNewCount = n;
    return status;
}

int CVrnlib::VrnGetEventObject(int index, sEVET_DATA* event) {
    if (index < 0 || index >= EVENT_LOG_SIZE || event == nullptr)
        return 0;
    CVrnExchangeGuard guard(*this);
    if (m_pEventMapping == nullptr)
        return 0;
    // Object 0 is the last record of page 0, which the mapping keeps last.
    const int offset = EVENT_MAPPING_SIZE - static_cast<int>(sizeof *event) * (index + 1);
    std::memcpy(event, m_pEventMapping + offset, sizeof *event);
    return 1;
}

int CVrnlib::VrnClearEvent() {
    const CVrnOperation op(*this);
    if (op.Status() != VRN_OK)
        return op.Status();
    vrn::CVrnRequest request(CMD_CLEAR_EVENT, 7);
    const int status =
        VrnExchange(request.Seal(), request.Length(), CLEAR_READ_LIMIT, VRN_REPLY_ACK);
    if (status == VRN_OK) {
        m_iNewCount = 0;
        m_iPreIndex = 0;
    }
    return status;
}
