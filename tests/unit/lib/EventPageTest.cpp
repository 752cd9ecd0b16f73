// Event pages: how many are fetched for the index steps or the log size, where they land in
// the mapping, which record each object is, and what a failure half-way leaves behind.
#include "GoldenFrames.h"
#include "LinkFixture.h"

namespace {

// Page p: 16 records whose channel byte is 16 * p + record and whose type byte is 0xC0 + p.
Bytes PagePayload(int p) {
    Bytes b(512, 0);
    for (int r = 0; r < 16; ++r) {
        b[32 * r + 0] = 2; // VOLUMESET
        b[32 * r + 1] = static_cast<unsigned char>(0xC0 + p);
        b[32 * r + 2] = static_cast<unsigned char>(16 * p + r);
    }
    return b;
}

Bytes SysInfoWithEvents(unsigned events) {
    Bytes b(256, 0);
    const Bytes le = Le32(events);
    std::copy(le.begin(), le.end(), b.begin() + 148);
    return b;
}

const Bytes kPoll = Req(0x19);
Bytes PageReq(int p) {
    return Req(0x1A, {static_cast<unsigned char>(p)});
}

class EventPages : public CLinkTest {
protected:
    // The channel byte of each of the 64 objects, -1 for one that holds the marker.
    std::vector<int> Objects() {
        std::vector<int> out;
        for (int i = 0; i < 64; ++i) {
            sEVET_DATA e;
            EXPECT_EQ(m_session.VrnGetEventObject(i, &e), 1);
            out.push_back(e.evtCategory == 0xEE ? -1 : e.evtChannel);
        }
        return out;
    }
    void MarkMapping() { std::memset(m_session.m_pEventMapping, 0xEE, 2048); }
};

// Object i of a fetched log is record 15 - i % 16 of page i / 16.
int ObjectChannel(int i) {
    return 16 * (i / 16) + 15 - i % 16;
}

TEST_P(EventPages, CountsPagesAndMappingOrder) {
    struct Case {
        const char* name;
        char newOnly;
        int previous;
        std::vector<SStep> steps; // after the poll
        int index;                // the poll's answer
        int status;
        int count;
        std::vector<Bytes> requests; // after the poll
        int pagesMapped;             // pages 0 .. n-1 land in the mapping
    };
    auto page = [](int p) { return Reply(MakeFrame(PagePayload(p))); };
    auto sys = [](unsigned n) { return Reply(MakeFrame(SysInfoWithEvents(n))); };
    const Case cases[] = {
        {"60 to 3 wraps: 7 new, one page", 1, 60, {page(0)}, 3, VRN_OK, 7, {PageReq(0)}, 1},
        {"5 to 5: nothing", 1, 5, {}, 5, VRN_OK, 0, {}, 0},
        {"0 to 17: two pages",
         1,
         0,
         {page(0), page(1)},
         17,
         VRN_OK,
         17,
         {PageReq(0), PageReq(1)},
         2},
        {"1 to 0: 63 new, four pages",
         1,
         1,
         {page(0), page(1), page(2), page(3)},
         0,
         VRN_OK,
         63,
         {PageReq(0), PageReq(1), PageReq(2), PageReq(3)},
         4},
        {"index byte 200 is place 8 of the log", 1, 5, {page(0)}, 200, VRN_OK, 3, {PageReq(0)}, 1},
        {"whole log of 64: four pages",
         0,
         0,
         {sys(64), page(0), page(1), page(2), page(3)},
         9,
         VRN_OK,
         64,
         {Req(0x23), PageReq(0), PageReq(1), PageReq(2), PageReq(3)},
         4},
        {"whole log of 0: one page, count 0",
         0,
         0,
         {sys(0), page(0)},
         9,
         VRN_OK,
         0,
         {Req(0x23), PageReq(0)},
         1},
        {"whole log of 16: one page",
         0,
         0,
         {sys(16), page(0)},
         9,
         VRN_OK,
         16,
         {Req(0x23), PageReq(0)},
         1},
        {"whole log reported as 100: 64",
         0,
         0,
         {sys(100), page(0), page(1), page(2), page(3)},
         9,
         VRN_OK,
         64,
         {Req(0x23), PageReq(0), PageReq(1), PageReq(2), PageReq(3)},
         4},
        {"whole log reported as 2^32 - 1: 64",
         0,
         0,
         {sys(0xFFFFFFFFu), page(0), page(1), page(2), page(3)},
         9,
         VRN_OK,
         64,
         {Req(0x23), PageReq(0), PageReq(1), PageReq(2), PageReq(3)},
         4},
        {"system information refused: one page, count 0",
         0,
         0,
         {Reply(Answer('M')), page(0)},
         9,
         VRN_OK,
         0,
         {Req(0x23), PageReq(0)},
         1},
        {"second page refused: fetch stops",
         0,
         0,
         {sys(40), page(0), Reply(Answer('M'))},
         9,
         VRN_REFUSED_M,
         40,
         {Req(0x23), PageReq(0), PageReq(1)},
         1},
        {"second page answered B",
         1,
         0,
         {page(0), Reply(Answer('B'))},
         20,
         0x42,
         20,
         {PageReq(0), PageReq(1)},
         1},
        {"second page short",
         1,
         0,
         {page(0), Reply(MakeFrame(Bytes(100, 1)))},
         20,
         VRN_BAD_FRAME,
         20,
         {PageReq(0), PageReq(1)},
         1},
        {"first page a bare A", 1, 0, {Reply(Answer('A'))}, 4, VRN_BAD_FRAME, 4, {PageReq(0)}, 0},
        {"first page damaged",
         1,
         0,
         {Reply([] {
             Bytes b = MakeFrame(PagePayload(0));
             b[100] ^= 4;
             return b;
         }())},
         4,
         VRN_BAD_FRAME,
         4,
         {PageReq(0)},
         0},
    };
    for (const Case& c : cases) {
        MarkMapping();
        m_session.m_iPreIndex = c.previous;
        m_session.m_iNewCount = -5;
        std::vector<SStep> steps = {Reply(Answer(static_cast<unsigned char>(c.index)))};
        steps.insert(steps.end(), c.steps.begin(), c.steps.end());
        int count = -1;
        int status = -1;
        auto seen = Serve(steps, [&] { status = m_session.VrnGetReqEventPage(c.newOnly, &count); });
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(count, c.count) << c.name;
        ASSERT_EQ(seen.size(), c.requests.size() + 1) << c.name;
        EXPECT_EQ(seen[0], kPoll) << c.name;
        for (size_t i = 0; i < c.requests.size(); ++i)
            EXPECT_EQ(seen[i + 1], c.requests[i]) << c.name << " request " << i + 1;
        EXPECT_EQ(m_session.m_iCurrentIndex, c.index) << c.name;
        const bool skipped = c.newOnly != 0 && c.count == 0;
        EXPECT_EQ(m_session.m_iPreIndex, skipped ? c.previous : c.index) << c.name;
        EXPECT_EQ(m_session.m_iNewCount, skipped ? -5 : c.count) << c.name;
        const std::vector<int> objects = Objects();
        for (int i = 0; i < 64; ++i) {
            const int want = i / 16 < c.pagesMapped ? ObjectChannel(i) : -1;
            ASSERT_EQ(objects[i], want) << c.name << " object " << i;
        }
    }
}

TEST_P(EventPages, PagesLandAtTheirPlaceInTheMapping) {
    MarkMapping();
    m_session.m_iPreIndex = 0;
    int count = -1;
    Serve({Reply(Answer(40)), Reply(MakeFrame(PagePayload(0))), Reply(MakeFrame(PagePayload(1))),
           Reply(MakeFrame(PagePayload(2)))},
          [&] { EXPECT_EQ(m_session.VrnGetReqEventPage(1, &count), VRN_OK); });
    EXPECT_EQ(count, 40);
    const unsigned char* map = m_session.m_pEventMapping;
    // Page 3 first (untouched here), page 0 last; object 0 at offset 2016.
    EXPECT_EQ(map[0], 0xEE);
    EXPECT_EQ(Bytes(map + 512, map + 1024), PagePayload(2));
    EXPECT_EQ(Bytes(map + 1024, map + 1536), PagePayload(1));
    EXPECT_EQ(Bytes(map + 1536, map + 2048), PagePayload(0));
    sEVET_DATA e;
    ASSERT_EQ(m_session.VrnGetEventObject(0, &e), 1);
    EXPECT_EQ(0, std::memcmp(&e, map + 2016, 32));
    // The raw page reply stays in the page buffer as read.
    EXPECT_EQ(Bytes(m_session.m_pEventPage, m_session.m_pEventPage + 518),
              MakeFrame(PagePayload(2)));
}

TEST_P(EventPages, FailedPollKeepsTheMappingAndTakesTheOldIndex) {
    MarkMapping();
    m_session.m_iPreIndex = 3;
    m_session.m_iCurrentIndex = 9;
    Bytes damaged = Answer(12);
    damaged[6] ^= 1;
    int count = -1;
    auto seen = Serve({Reply(damaged)},
                      [&] { EXPECT_EQ(m_session.VrnGetReqEventPage(1, &count), VRN_BAD_FRAME); });
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(m_session.m_iPreIndex, 9);
    EXPECT_EQ(m_session.m_pEventMapping[2047], 0xEE);
}

TEST_P(EventPages, SecondFetchReportsNothingAndClearStartsOver) {
    int count = -1;
    m_session.m_iPreIndex = 0;
    Serve({Reply(Answer(5)), Reply(MakeFrame(PagePayload(0))), Reply(Answer(5))}, [&] {
        EXPECT_EQ(m_session.VrnGetReqEventPage(1, &count), VRN_OK);
        EXPECT_EQ(count, 5);
        EXPECT_EQ(m_session.VrnGetReqEventPage(1, &count), VRN_OK);
        EXPECT_EQ(count, 0);
    });
    // A refused clear changes nothing; an accepted one counts from index 0 again.
    auto seen = Serve({Reply(Answer('M')), Reply(Answer('A')), Reply(Answer(5)),
                       Reply(MakeFrame(PagePayload(0)))},
                      [&] {
                          EXPECT_EQ(m_session.VrnClearEvent(), VRN_REFUSED_M);
                          EXPECT_EQ(m_session.m_iPreIndex, 5);
                          EXPECT_EQ(m_session.VrnClearEvent(), VRN_OK);
                          EXPECT_EQ(m_session.m_iPreIndex, 0);
                          EXPECT_EQ(m_session.m_iNewCount, 0);
                          EXPECT_EQ(m_session.VrnGetReqEventPage(1, &count), VRN_OK);
                          EXPECT_EQ(count, 5);
                      });
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], Req(0x24));
    EXPECT_EQ(seen[1], Req(0x24));
}

INSTANTIATE_TEST_SUITE_P(Links, EventPages, testing::Values(ELink::Serial, ELink::Udp), LinkName);

} // namespace
