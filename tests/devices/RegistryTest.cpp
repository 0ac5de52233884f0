// The registry as a value: a search's comparison, what goes and what stays,
// and the lookups, without threads, widgets or devices.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/Registry.h"

namespace zv {
namespace {

struct TPanel : TDevicePanel {
    explicit TPanel(std::vector<int32_t>& destroyed, int32_t serial) : destroyed_(destroyed), serial_(serial) {}
    ~TPanel() override { destroyed_.push_back(serial_); }
    void SetStatus(const std::string&, LogLevel) override {}
    void SetWriteEnabled(bool) override {}
    void SetProgress(int) override {}
    void SetWriteHandler(std::function<void()>) override {}
    std::vector<int32_t>& destroyed_;
    int32_t serial_;
};

struct TWriter : TWorkerThread {};

class Registry : public testing::Test {
protected:
    TDevEntry& Join(int32_t serial) {
        auto entry = std::make_unique<TDevEntry>(std::to_string(serial), -1, TRANSPORT_FTDI);
        entry->panel = std::make_unique<TPanel>(destroyed, serial);
        return registry.Add(std::move(entry));
    }
    TDevEntry& Join(int32_t serial, int32_t transport) {
        auto entry = std::make_unique<TDevEntry>(std::to_string(serial), 0, transport);
        entry->panel = std::make_unique<TPanel>(destroyed, serial);
        return registry.Add(std::move(entry));
    }
    static TDeviceList Listed(const std::vector<int32_t>& serials, int32_t transport = TRANSPORT_FTDI) {
        TDeviceList list;
        for (int32_t serial : serials)
            list.push_back(std::make_unique<TDevEntry>(std::to_string(serial), 0, transport));
        return list;
    }
    static std::vector<int32_t> Serials(const TDeviceList& list) {
        std::vector<int32_t> serials;
        for (const auto& e : list) serials.push_back(e->serialNumber);
        return serials;
    }
    std::vector<int32_t> Serials() const {
        std::vector<int32_t> serials;
        for (const TDevEntry* e : registry.Entries()) serials.push_back(e->serialNumber);
        return serials;
    }

    std::vector<int32_t> destroyed;
    TDeviceRegistry registry;
};

TEST_F(Registry, ACompareKeepsTheKnownMarksTheMissingAndLeavesTheNew) {
    TDevEntry& stays = Join(1);
    TDevEntry& goes = Join(2);
    TDevEntry& writing = Join(3);
    TWriter writer;
    writing.writeThread = &writer;

    // 1 is listed twice: the first copy is the known device, the second is new.
    TDeviceList listed = Listed({1, 4, 1});
    registry.Compare(listed);
    EXPECT_EQ(Serials(listed), (std::vector<int32_t>{4, 1}));
    EXPECT_FALSE(stays.disconnected);
    EXPECT_TRUE(goes.disconnected);
    EXPECT_TRUE(writing.disconnected);
    EXPECT_TRUE(writer.StopRequested()) << "a device that went is not written on";
    EXPECT_EQ(registry.Count(), 3u) << "nothing leaves at the comparison";

    // A mark stays even when a later search finds the device again.
    TDeviceList again = Listed({2});
    registry.Compare(again);
    EXPECT_TRUE(again.empty());
    EXPECT_TRUE(goes.disconnected);
}

TEST_F(Registry, ASerialNumberMatchesOnlyWithinItsLibrary) {
    TDevEntry& ftdi = Join(5, TRANSPORT_FTDI);
    // The FTDI device left and one of the maker's with its number came.
    TDeviceList listed = Listed({5}, TRANSPORT_OM);
    registry.Compare(listed);
    EXPECT_TRUE(ftdi.disconnected);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]->transport, TRANSPORT_OM);
    EXPECT_EQ(registry.WithSerial(5).size(), 0u) << "only attached entries share a number";
}

TEST_F(Registry, WhenOneOfTwinsLeavesTheIdleAreMarkedGoneAndTheRestIsNewAgain) {
    TDevEntry& first = Join(-1, TRANSPORT_FTDI);
    TDevEntry& second = Join(-1, TRANSPORT_FTDI);
    TDeviceList both = Listed({-1, -1});
    registry.Compare(both);
    EXPECT_TRUE(both.empty());
    EXPECT_EQ(registry.WithSerial(-1).size(), 2u);

    // Which one left cannot be told: neither panel may stay for it.
    TDeviceList one = Listed({-1});
    registry.Compare(one);
    EXPECT_TRUE(first.disconnected);
    EXPECT_TRUE(second.disconnected);
    EXPECT_EQ(one.size(), 1u) << "the one still there is identified anew";
}

TEST_F(Registry, AWriteGoesOnWhenItsIdleTwinLeaves) {
    TDevEntry& idle = Join(-1, TRANSPORT_OM);
    TDevEntry& writing = Join(-1, TRANSPORT_OM);
    TWriter writer;
    writing.writeThread = &writer;
    TDeviceList one = Listed({-1}, TRANSPORT_OM);
    registry.Compare(one);
    EXPECT_TRUE(one.empty());
    EXPECT_FALSE(writing.disconnected);
    EXPECT_FALSE(writer.StopRequested());
    EXPECT_TRUE(idle.disconnected);
}

TEST_F(Registry, OnlyTheGoneThatNoWriteUsesAreTakenInListOrder) {
    Join(1);
    TDevEntry& two = Join(2);
    TDevEntry& three = Join(3);
    TDevEntry& four = Join(4);
    TWriter writer;
    two.disconnected = three.disconnected = four.disconnected = true;
    three.writeThread = &writer;

    TDeviceList gone = registry.TakeGone();
    EXPECT_EQ(Serials(gone), (std::vector<int32_t>{2, 4}));
    EXPECT_EQ(Serials(), (std::vector<int32_t>{1, 3}));
    EXPECT_TRUE(destroyed.empty()) << "taken out, not yet destroyed";
    gone.clear();
    EXPECT_EQ(destroyed, (std::vector<int32_t>{2, 4}));
}

TEST_F(Registry, LookupsAndTakingOneEntryAmongTwinSerials) {
    TDevEntry& first = Join(7);
    TDevEntry& twin = Join(7);
    Join(8);
    EXPECT_EQ(registry.FindBySerial(7), &first);
    EXPECT_EQ(registry.FindBySerial(9), nullptr);
    EXPECT_EQ(registry.FindByPanel(twin.panel.get()), &twin);
    EXPECT_EQ(registry.FindByPanel(nullptr), nullptr);

    std::unique_ptr<TDevEntry> taken = registry.Take(twin);
    EXPECT_EQ(taken.get(), &twin);
    EXPECT_EQ(Serials(), (std::vector<int32_t>{7, 8}));
    EXPECT_EQ(registry.FindBySerial(7), &first);
    TDevEntry stranger("7", -1, TRANSPORT_FTDI);
    EXPECT_EQ(registry.Take(stranger), nullptr);
}

TEST_F(Registry, WhatIsLeftIsDestroyedInJoiningOrder) {
    {
        TDeviceRegistry local;
        for (int32_t serial : {5, 3, 9}) {
            auto entry = std::make_unique<TDevEntry>(std::to_string(serial), -1, TRANSPORT_FTDI);
            entry->panel = std::make_unique<TPanel>(destroyed, serial);
            local.Add(std::move(entry));
        }
    }
    EXPECT_EQ(destroyed, (std::vector<int32_t>{5, 3, 9}));
}

}  // namespace
}  // namespace zv
