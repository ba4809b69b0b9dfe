#include <gtest/gtest.h>

#include "engine_interface.h"
#include "engine_records.h"

namespace {

using host::toFixed;
using host::toInt;

constexpr host::fixed fromReal(double value) {
    return static_cast<host::fixed>(value * 1024.0);
}

TEST(FixedConversion, DropsTheFractionTowardMinusInfinity) {
    EXPECT_EQ(toInt(fromReal(2.7)), 2);
    EXPECT_EQ(toInt(fromReal(3.9)), 3);
    EXPECT_EQ(toInt(-512), -1);   // -0.5
    EXPECT_EQ(toInt(-256), -1);   // -0.25
    EXPECT_EQ(toInt(-1024), -1);  // exactly -1.0 stays -1
    EXPECT_EQ(toInt(-1025), -2);
    EXPECT_EQ(toInt(1023), 0);
    EXPECT_EQ(toInt(INT32_MIN), -(1 << 21));
    EXPECT_EQ(toInt(INT32_MAX), (1 << 21) - 1);
}

TEST(FixedConversion, IntegersScaleBy1024AndRoundTrip) {
    EXPECT_EQ(toFixed(1), 1024);
    EXPECT_EQ(toFixed(-1), -1024);
    EXPECT_EQ(toFixed(0), 0);
    for (int n : {-(1 << 21), -300, -1, 0, 1, 7, 12345, (1 << 21) - 1}) EXPECT_EQ(toInt(toFixed(n)), n) << n;
    // Beyond the 22-bit integer range the value wraps instead of being undefined.
    EXPECT_EQ(toFixed(1 << 22), 0);
}

TEST(SwitchArgument, OnExactlyWhenTheIntegerPartIsOne) {
    EXPECT_TRUE(host::isSwitchOn(1024));
    EXPECT_TRUE(host::isSwitchOn(1536));  // 1.5
    EXPECT_TRUE(host::isSwitchOn(2047));
    EXPECT_FALSE(host::isSwitchOn(2048));  // 2.0
    EXPECT_FALSE(host::isSwitchOn(1013));  // 0.99
    EXPECT_FALSE(host::isSwitchOn(0));
    EXPECT_FALSE(host::isSwitchOn(-1024));
    EXPECT_FALSE(host::isSwitchOn(1));  // a raw status 1 is not a switch
    EXPECT_FALSE(host::isSwitchOn(1024 + 0x10000));
}

TEST(EngineString, TextComesFromTheRecord) {
    host::EngineString s("song.ogg");
    EXPECT_STREQ(host::stringText(s.record()), "song.ogg");
    host::EngineString empty("");
    EXPECT_STREQ(host::stringText(empty.record()), "");
    EXPECT_EQ(host::stringText(nullptr), nullptr);
}

// Stand-ins for engine objects: only their addresses matter to the entry. A set of them
// is the window at base, the device at base + 0x100 and the primary buffer at base + 0x200.
template <class T>
T* fake(uintptr_t address) {
    return reinterpret_cast<T*>(address);
}

void publish(host::EngineRecords& records, uintptr_t base) {
    records.setWindow(fake<void>(base));
    records.setSound(fake<IDirectSound>(base + 0x100), fake<IDirectSoundBuffer>(base + 0x200));
}

void expectPublished(uintptr_t base) {
    EXPECT_EQ(host::mainWindow(), fake<void>(base));
    EXPECT_EQ(host::engineDevice(), fake<IDirectSound>(base + 0x100));
    EXPECT_EQ(host::enginePrimaryBuffer(), fake<IDirectSoundBuffer>(base + 0x200));
}

int g_serviceCalls[2];
int g_callOrder;
void firstService() {
    g_serviceCalls[0] = ++g_callOrder;
}
void secondService() {
    g_serviceCalls[1] = ++g_callOrder;
}

class EngineEntry : public ::testing::Test {
  protected:
    void TearDown() override { A5_DLLAPI(nullptr); }
};

TEST_F(EngineEntry, ReturnsTheVersionWordForAnyRecord) {
    host::EngineRecords records;
    EXPECT_EQ(A5_DLLAPI(records.interfaceRecord()), 511);
    EXPECT_EQ(A5_DLLAPI(nullptr), 511);
    std::array<uintptr_t, 16> zeros{};
    EXPECT_EQ(A5_DLLAPI(zeros.data()), 511);
}

TEST_F(EngineEntry, WithoutARecordEverythingIsAbsent) {
    A5_DLLAPI(nullptr);
    EXPECT_EQ(host::engineDevice(), nullptr);
    EXPECT_EQ(host::enginePrimaryBuffer(), nullptr);
    EXPECT_EQ(host::mainWindow(), nullptr);
    host::callInitServices();  // must not crash
}

TEST_F(EngineEntry, ReadsTheEngineObjectsFromTheirWords) {
    host::EngineRecords records;
    publish(records, 0x1000);
    A5_DLLAPI(records.interfaceRecord());
    expectPublished(0x1000);
}

TEST_F(EngineEntry, TheSecondRecordWins) {
    host::EngineRecords first;
    host::EngineRecords second;
    publish(first, 0x1000);
    publish(second, 0x4000);
    A5_DLLAPI(first.interfaceRecord());
    A5_DLLAPI(second.interfaceRecord());
    expectPublished(0x4000);
}

TEST_F(EngineEntry, FollowsAnEngineThatReplacesItsObjects) {
    host::EngineRecords records;
    publish(records, 0x1000);
    A5_DLLAPI(records.interfaceRecord());
    publish(records, 0x7000);
    expectPublished(0x7000);
    records.setSound(nullptr, nullptr);
    EXPECT_EQ(host::engineDevice(), nullptr);
    EXPECT_EQ(host::enginePrimaryBuffer(), nullptr);
}

TEST_F(EngineEntry, CallsBothServicesInOrder) {
    host::EngineRecords records;
    records.setServices(&firstService, &secondService);
    A5_DLLAPI(records.interfaceRecord());
    g_callOrder = 0;
    g_serviceCalls[0] = g_serviceCalls[1] = 0;
    host::callInitServices();
    EXPECT_EQ(g_serviceCalls[0], 1);
    EXPECT_EQ(g_serviceCalls[1], 2);

    records.setServices(nullptr, &secondService);  // an empty word is skipped
    g_callOrder = 0;
    g_serviceCalls[0] = g_serviceCalls[1] = 0;
    host::callInitServices();
    EXPECT_EQ(g_serviceCalls[0], 0);
    EXPECT_EQ(g_serviceCalls[1], 1);
}

}  // namespace
