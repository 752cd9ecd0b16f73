// What the records mean beyond their bytes: the values every program shows must come out the
// same, including at the edges the controller really sends (full text fields without a zero,
// progress past the end, capacities beyond 32 bits).
#include "VrnRecordText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(RecordText, ProgressInTenthsOfAPercent) {
    const struct {
        unsigned int progress;
        double percent;
    } cases[] = {{0, 0.0},      {505, 50.5},   {1000, 100.0},       {4095, 409.5},
                 {4096, 100.0}, {5000, 100.0}, {0xFFFFFFFFu, 100.0}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(c.percent, VrnProgressPercent(c.progress)) << c.progress;
}

TEST(RecordText, CapacitiesTakeTheirExtensionAsTheHighWord) {
    const struct {
        unsigned int capacity, extension;
        unsigned long long sectors;
        double gigabytes;
    } cases[] = {
        {0, 0, 0, 0.0},
        {1953525168u, 0, 1953525168ull, 1000.204886016},
        {0xFFFFFFFFu, 0, 0xFFFFFFFFull, 2199.023255040},
        {0, 1, 0x100000000ull, 2199.023255552},
        {1, 2, 0x200000001ull, 4398.046511616},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sectors);
        EXPECT_EQ(c.sectors, VrnSectors(c.capacity, c.extension));
        EXPECT_NEAR(c.gigabytes, VrnGigabytes(c.sectors), 1e-6);
    }
}

TEST(RecordText, TextFieldsEndAtTheirFirstZeroOrTheirWidth) {
    const struct {
        const char* name;
        std::string bytes; // the whole field
        std::string text;
    } cases[] = {
        {"full, no zero", "Raid Set", "Raid Set"},
        {"zero-padded", std::string("Vol\0\0\0\0\0", 8), "Vol"},
        {"blank-padded", "Vol     ", "Vol"},
        {"text after the zero is not shown", std::string("AB\0CDEFG", 8), "AB"},
        {"unprintable bytes", std::string("A\x01\x7F\xFF", 4), "A???"},
        {"blanks inside stay", "a b     ", "a b"},
        {"empty", std::string(8, '\0'), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The field is followed by more text, as inside a record: it must not be read.
        const std::string record = c.bytes + "NEXTFIELD";
        EXPECT_EQ(c.text, VrnFieldText(record.data(), c.bytes.size()));
    }
    sGUI_PHY_DRV d = {};
    std::memset(d.gpdModelName, 'M', sizeof d.gpdModelName);
    std::memcpy(d.gpdSerialNumber, "VNS", 3);
    EXPECT_EQ(std::string(sizeof d.gpdModelName, 'M'), VrnFieldText(d.gpdModelName));
    EXPECT_EQ("VNS", VrnFieldText(d.gpdSerialNumber));
}

TEST(RecordText, StatusBits) {
    const struct {
        const char* name;
        unsigned int status, failMask;
        bool initialising, failed, degraded;
    } volumes[] = {
        {"normal", 0, 0, false, false, false},
        {"initialising", 0x01, 0, true, false, false},
        {"lost a member", 0, 0x04, false, false, true},
        {"failed", 0x02, 0x06, false, true, false},
        {"checking a degraded volume", 0x04 | 0x08, 0x01, false, false, true},
    };
    for (const auto& c : volumes) {
        SCOPED_TRACE(c.name);
        sGUI_VOLUMESET v = {};
        v.gvsVolumeStatus = c.status;
        v.gvsFailMask = c.failMask;
        EXPECT_EQ(c.initialising, VrnVolumeInitialising(v));
        EXPECT_EQ(c.failed, VrnVolumeFailed(v));
        EXPECT_EQ(c.degraded, VrnVolumeDegraded(v));
    }
    const struct {
        unsigned char state;
        bool failed;
    } drives[] = {{0x01, false}, {0x08, false}, {0x10, true}, {0x11, true}, {0xEF, false}};
    for (const auto& c : drives) {
        sGUI_PHY_DRV d = {};
        d.gpdDeviceState = c.state;
        EXPECT_EQ(c.failed, VrnDriveFailed(d)) << int(c.state);
    }
}

} // namespace
