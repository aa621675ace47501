// The request frames as they leave for the link thread.
#include "Requests.h"

#include <gtest/gtest.h>

namespace {
using Frame = std::vector<std::uint8_t>;

class Requests : public ::testing::Test {
protected:
    Frame FrameAt(int i) {
        queue_.SetCurrent(i);
        TMemoryStream f;
        queue_.CopyCurrent(f);
        return f.Data();
    }
    // The body of the only frame queued, which is then dropped.
    Frame TakeBody(std::uint8_t expectedOpcode) {
        EXPECT_EQ(queue_.Count(), 1u);
        queue_.SetCurrent(0);
        EXPECT_EQ(queue_.GetOpcode(), expectedOpcode);
        EXPECT_EQ(queue_.GetSource(), 1);
        TMemoryStream body;
        queue_.GetBody(body);
        queue_.DeleteMessage(0);
        return body.Data();
    }
    TLANObject& CurrentDevice(std::uint8_t address) {
        TLANObject& d = *devices_.AddDevice();
        d.SetLanAddress(address);
        return d;
    }

    TMessagesList queue_;
    TObjectsList devices_;
    int wakeUps_ = 0;
    TSessionRequests requests_{queue_, devices_, [this] { ++wakeUps_; },
                               [] { return TDeviceClock{5, 30, 12, 11, 12, 2026}; }};
};
} // namespace

TEST_F(Requests, WorkedFramesOnAFreshQueue) {
    TLANObject& d = CurrentDevice(0x23);
    for (int i = 0; i < 12; ++i)
        d.Parameters().AddItem();
    requests_.SendPoll();
    requests_.SendGetDefinition(3);
    std::vector<std::uint8_t> all(12);
    for (std::uint8_t i = 0; i < 12; ++i)
        all[i] = i;
    requests_.SendGetParameterValues(all);

    ASSERT_EQ(queue_.Count(), 3u);
    EXPECT_EQ(FrameAt(0), (Frame{0xFE, 0x00, 0x01, 0x01, 0x01, 0x04, 0xC2, 0xDC, 0xFF}));
    EXPECT_EQ(FrameAt(1), (Frame{0xFE, 0x03, 0x01, 0x02, 0x01, 0x06, 0x02, 0x4B, 0xFF}));
    const Frame third{0xFE, 0x23, 0x01, 0x03, 0x02, 0x1B, 0xFF, 0x93, 0x94, 0xFF};
    EXPECT_EQ(FrameAt(2), third);
    TMemoryStream wire(third);
    EscapeFrame(wire);
    EXPECT_EQ(wire.Data(),
              (Frame{0xFE, 0x23, 0x01, 0x03, 0x02, 0x1B, 0xFD, 0x02, 0x93, 0x94, 0xFF}));
    EXPECT_EQ(wakeUps_, 3);
}

TEST_F(Requests, PollOnlyOnAnEmptyQueue) {
    requests_.SendGetDefinition(3);
    requests_.SendPoll();
    EXPECT_EQ(queue_.Count(), 1u);
}

TEST_F(Requests, BodiesOfTheCurrentDevice) {
    TLANObject& d = CurrentDevice(0x23);
    for (int i = 0; i < 12; ++i)
        d.Parameters().AddItem();
    d.Controls().AddItem();
    d.Controls().AddItem();

    requests_.SendGetParameterValues({5, 0});
    queue_.SetCurrent(0);
    EXPECT_EQ(queue_.GetDest(), 0x23);
    EXPECT_EQ(TakeBody(opGetParameterValues), (Frame{0x02, 0x00, 0x05}));
    requests_.SendGetParameterValues({});
    EXPECT_EQ(queue_.Count(), 0u);

    requests_.SendSetParameter(4, 0x1234);
    EXPECT_EQ(TakeBody(opParameterValues), (Frame{0x04, 0x34, 0x12}));
    requests_.SendSetParameter3(4, 0x0102, 0x0304, 0x0506);
    EXPECT_EQ(TakeBody(opParameterValues), (Frame{0x04, 0x02, 0x01, 0x04, 0x03, 0x06, 0x05}));
    requests_.SendSetControl(1, 300);
    EXPECT_EQ(TakeBody(opControlValue), (Frame{0x01, 0x2C, 0x01}));
    requests_.SendGetState();
    EXPECT_EQ(TakeBody(opGetState), Frame{});
    requests_.SendGetHistory();
    EXPECT_EQ(TakeBody(opGetHistory), Frame{});

    requests_.SendGetControlValues();
    ASSERT_EQ(queue_.Count(), 2u);
    for (int i = 0; i < 2; ++i) {
        const Frame f = FrameAt(i);
        ASSERT_EQ(f.size(), 10u);
        EXPECT_EQ(f[5], opGetControlValue);
        EXPECT_EQ(f[6], i);
    }
    queue_.FreeAll();

    requests_.SendExecuteCommand(2); // the device has no command rows
    EXPECT_EQ(queue_.Count(), 0u);
    d.Commands().AddItem();
    requests_.SendExecuteCommand(2);
    EXPECT_EQ(TakeBody(opExecuteCommand), Frame{2});
}

TEST_F(Requests, RowAsTheDeviceHoldsIt) {
    TLANObject& d = CurrentDevice(0x05);
    d.Parameters().AddItem();
    d.Parameters().AddItem();
    d.Parameters().SetCurrent(1);
    d.Parameters().SetName("Forward power");
    TMemoryStream expected;
    d.Parameters().WriteRow(expected);
    d.Parameters().SetCurrent(0);

    requests_.SendParameterRow(1);
    EXPECT_EQ(TakeBody(opParameterRow), expected.Data());
    requests_.SendParameterRow(2); // not a row
    requests_.SendControlRow(0);
    EXPECT_EQ(queue_.Count(), 0u);
}

TEST_F(Requests, AddressedSettingsAndPasswords) {
    requests_.SendSetCalibration(7, -31);
    EXPECT_EQ(TakeBody(opCalibration), Frame{0x3F});
    requests_.SendSetDateTime(7);
    EXPECT_EQ(TakeBody(opDateTime), (Frame{5, 30, 12, 11, 12, 0xEA, 0x07}));
    requests_.SendAccessPassword("");
    queue_.SetCurrent(0);
    EXPECT_EQ(queue_.GetDest(), 0);
    EXPECT_EQ(TakeBody(opAccessPassword), Frame{0x00});
    requests_.SendNewPassword(7, "ab");
    EXPECT_EQ(TakeBody(opNewPassword), (Frame{0x02, 'a', 'b'}));
}

TEST_F(Requests, NothingWithoutACurrentDevice) {
    requests_.SendGetState();
    requests_.SendSetParameter(0, 1);
    requests_.SendGetParameterValues({0});
    requests_.SendGetControlValues();
    requests_.SendAttributeRow(0);
    EXPECT_EQ(queue_.Count(), 0u);
}
