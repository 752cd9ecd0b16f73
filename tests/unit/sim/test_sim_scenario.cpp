// Scenario files: what they change, what they refuse, and the state dump read back.
#include "SimJson.h"
#include "SimModelHarness.h"
#include "VrnTestPaths.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace simtest;

namespace {

TEST(SimScenario, BadFilesAreRefusedWithTheReason) {
    struct Case {
        const char* json;
        const char* reason; // substring of the error
    };
    const Case cases[] = {
        {"{", "parse error"},
        {"[]", "must be an object"},
        {R"({"bogus": 1})", "unknown key \"bogus\""},
        {R"({"system": {"ideChannels": 0}})", "system.ideChannels"},
        {R"({"system": {"model": "123456789"}})", "longer than 8"},
        {R"({"system": {"localIp": "300.1.1.1"}})", "dotted IPv4"},
        {R"({"system": {"mac": "00:11"}})", "system.mac"},
        {R"({"password": "0123456789abcdef"})", "longer than 15"},
        {R"({"raidSets": [{"members": [0, 1]}, {"members": [1, 2]}]})", "in two raid sets"},
        {R"({"raidSets": [{"members": [9]}]})", "no drive slot"},
        {R"({"raidSets": [{"members": []}]})", "1 to 32 drive numbers"},
        {R"({"volumeSets": [{"raidSet": 3, "sectors": 10}]})", "does not exist"},
        {R"({"volumeSets": [{"sectors": 10, "raidLevel": 7}]})", "raidLevel"},
        {R"({"volumeSets": [{"raidSet": 0}]})", "needs sectors or capacityGB"},
        {R"({"volumeSets": [{"sectors": 10}, {"sectors": 10}]})", "SCSI channel/id/lun"},
        {R"({"drives": [{}, {"capacity": -1}]})", "drives[1].capacity"},
        {R"({"drives": [{"role": "boss"}]})", "role"},
        {R"({"hwmon": {"fans": [1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20], "rails": [[1,1],[1,1],[1,1],[1,1],[1,1],[1,1],[1,1],[1,1],[1,1],[1,1],[1,1],[1,1]], "temps": [1,2,3,4,5,6,7,8,9]}})",
         "too many items"},
        {R"({"hwmon": {"powers": [true,true,true,true,true,true,true,true,true]}})",
         "hwmon.powers"},
        {R"({"hwmon": {"fanStopped": [true]}})", "one entry per fan"},
        {R"({"events": [{"category": 300}]})", "events[0].category"},
        {R"({"eventIndex": 64})", "eventIndex"},
        {R"({"webPages": {"nopath": "x"}})", "start with /"},
        {R"({"webPages": {"/big": {"body": "0123456789", "repeat": 7000}}})", "body longer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        vrnsim::SScenario sc = vrnsim::DefaultScenario();
        std::string err;
        EXPECT_FALSE(vrnsim::ParseScenario(c.json, sc, err));
        EXPECT_NE(std::string::npos, err.find(c.reason)) << err;
    }
}

TEST(SimScenario, KeysOverrideTheDefaultsAndTheRestStays) {
    vrnsim::SScenario sc = vrnsim::DefaultScenario();
    std::string err;
    ASSERT_TRUE(vrnsim::ParseScenario(R"({
        "identify": "Varno RAID Subsystem test rig",
        "password": "5172",
        "system": {"ideChannels": 5, "model": "VRN-5010", "localIp": "10.1.2.3"},
        "drives": [{"model": "Disk A", "capacity": 1000000}, {}, null, {"failed": true}, {"role": "hotspare"}],
        "raidSets": [{"name": "Array", "members": [0, 1, 3]}],
        "volumeSets": [{"name": "Data", "capacityGB": 0.5, "raidLevel": 3, "task": "init", "progress": 250}],
        "hwmon": {"fans": [2000], "temps": [40, 35], "powers": [true, false]},
        "events": [{"category": 2, "type": 12, "channel": 0, "text": "Data"}],
        "eventIndex": 40,
        "webPages": {"/": "hello", "/status.html": null},
        "timing": {"volumeInitSeconds": 10}
    })",
                                      sc, err))
        << err;
    CHarness h(1.0, sc);
    Bytes s = h.Data({0x23});
    EXPECT_EQ(5, s[174]);
    EXPECT_EQ(Text("VRN-5010", 8), Bytes(s.begin() + 104, s.begin() + 112));
    EXPECT_EQ(Bytes({10, 1, 2, 3}), Bytes(s.begin() + 112, s.begin() + 116));
    EXPECT_EQ(Text("Varno Storage Systems", 21), Bytes(s.begin(), s.begin() + 21))
        << "defaults stay";
    EXPECT_EQ(1u, Le32(s, 148));
    EXPECT_EQ(40, h.EventIndex());
    EXPECT_EQ(Bytes({2, 12, 0}), Head(h.Newest(), 3));
    EXPECT_EQ("Varno RAID Subsystem test rig", [&] {
        Bytes d = h.Data({0x13});
        return std::string(d.begin(), d.end());
    }());
    EXPECT_EQ(Answer('A'), h.Ask(Cat({{0x14, 4}, Text("5172", 4)})));

    struct DriveCase {
        uint8_t drive;
        uint32_t capacity;
        uint8_t state;
        uint8_t raid;
    };
    const DriveCase drives[] = {
        {0, 1000000, 0x01, 0},   {1, 312581808, 0x01, 0},    {2, 0, 0x00, 0xFF},
        {3, 312581808, 0x11, 0}, {4, 488397168, 0x02, 0xFE},
    };
    for (const DriveCase& d : drives) {
        SCOPED_TRACE(int(d.drive));
        Bytes r = h.Data({0x22, d.drive});
        EXPECT_EQ(d.capacity, Le32(r, 68));
        EXPECT_EQ(d.state, r[76]);
        EXPECT_EQ(d.raid, r[81]);
    }
    EXPECT_EQ(Answer('M'), h.Ask({0x22, 5}));
    Bytes vol = h.Data({0x21, 0});
    EXPECT_EQ(Text("Data", 16), Bytes(vol.begin(), vol.begin() + 16));
    EXPECT_EQ(976562u, Le32(vol, 16));
    EXPECT_EQ(0x08u | 0x01u, Le32(vol, 40)); // degraded (drive 3 failed) and initialising
    EXPECT_EQ(250u, Le32(vol, 44));
    EXPECT_EQ(Bytes({1, 4, 2, 2, 0xD0, 0x07}), Head(h.Data({0x1B}), 6));
    EXPECT_EQ(1, h.Data({0x1B}).at(4 + 2 + 16 + 2)); // only supply 1 is good
    Bytes page = h.Data({0x16, 'G', 'E', 'T', ' ', '/', ' ', 'H', '\r', '\n', '\r', '\n'});
    std::string body(page.begin(), page.end());
    EXPECT_EQ("hello", body.substr(body.size() - 5));
    Bytes missing = h.Data(Cat({{0x16}, Text("GET /status.html HTTP/1.0\r\n\r\n", 29)}));
    EXPECT_EQ("HTTP/1.0 404", std::string(missing.begin(), missing.begin() + 12));
}

TEST(SimScenario, StateDumpStartsTheSameController) {
    CHarness h;
    ASSERT_EQ("", h.Model().SetDrive(2, "fail"));
    ASSERT_EQ("", h.Model().SetFan(1, false));
    ASSERT_EQ(Answer('A'), h.Ask(Cat({{0x50, 0x30, 0, 0, 0}, Text("Second", 16)})));
    std::string dump = vrnsim::StateJson(h.Model());
    EXPECT_EQ(std::string::npos, dump.find('\n'));
    vrnsim::SScenario sc = vrnsim::DefaultScenario();
    std::string err;
    ASSERT_TRUE(vrnsim::ParseScenario(dump, sc, err)) << err;
    CHarness again(1.0, sc);
    for (Bytes q : {Bytes{0x19}, Bytes{0x1B}, Bytes{0x20, 0}, Bytes{0x20, 1}, Bytes{0x21, 0},
                    Bytes{0x22, 2}, Bytes{0x22, 5}, Bytes{0x1A, 0}}) {
        EXPECT_EQ(h.Ask(q), again.Ask(q)) << int(q[0]);
    }
}

} // namespace

namespace {

TEST(SimScenario, ExampleScenariosLoad) {
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VRN_SOURCE_DIR "/sim/scenarios")) {
        if (entry.path().extension() != ".json")
            continue;
        SCOPED_TRACE(entry.path().string());
        ++seen;
        vrnsim::SScenario sc = vrnsim::DefaultScenario();
        std::string err;
        ASSERT_TRUE(vrnsim::LoadScenarioFile(entry.path().string(), sc, err)) << err;
        CHarness h(1.0, sc);
        Bytes s = h.Data({0x23});
        ASSERT_EQ(256u, s.size());
        // The monitor reply of the five-channel family is the 26-byte record it copies whole.
        if (s[174] == 5) {
            EXPECT_EQ(26u, h.Data({0x1B}).size());
        }
        Bytes ident = Head(h.Data({0x13}), 20);
        EXPECT_EQ("Varno RAID Subsystem", std::string(ident.begin(), ident.end()));
    }
    EXPECT_GE(seen, 1);
    vrnsim::SScenario sc = vrnsim::DefaultScenario();
    std::string err;
    EXPECT_FALSE(vrnsim::LoadScenarioFile("/nonexistent.json", sc, err));
    EXPECT_EQ("cannot read the file", err);
}

} // namespace
