// The set that puts SoapySDR's receivers beside the RZ640: which driver a selection goes to,
// when the one in use changes, and what the lists hold.
#include "receivers/ReceiverSet.h"
#include "tests/app/ScriptedReceiver.h"

#include <gtest/gtest.h>

namespace {

struct Set {
    std::shared_ptr<ReceiverScript> rz640 = std::make_shared<ReceiverScript>();
    std::shared_ptr<ReceiverScript> soapy = std::make_shared<ReceiverScript>();
    ReceiverSet set;

    Set() : set(makeSet()) {}

private:
    ReceiverSet makeSet()
    {
        soapy->ids = {"driver=rtlsdr,serial=1", "driver=hackrf,serial=2"};
        soapy->name = "RTL-SDR (SN 1)";
        return ReceiverSet(std::make_unique<ScriptedReceiver>(rz640), std::make_unique<ScriptedReceiver>(soapy));
    }
};

TEST(ReceiverSet, ListsTheRz640FirstThenTheOthers)
{
    Set s;
    EXPECT_EQ(s.set.listDevices(),
              (std::vector<std::string>{"RZ640", "driver=rtlsdr,serial=1", "driver=hackrf,serial=2"}));
    const std::vector<DeviceListing> listings = s.set.enumerate();
    ASSERT_EQ(listings.size(), 3u);
    EXPECT_EQ(listings[0].args, "RZ640");
    EXPECT_EQ(listings[2].args, "driver=hackrf,serial=2");
}

TEST(ReceiverSet, ASelectionTakesEffectAtTheNextOpen)
{
    Set s;
    EXPECT_EQ(s.set.deviceName(), "RZ640 USB3 FT601");
    s.set.selectDevice("driver=rtlsdr,serial=1");
    EXPECT_EQ(s.soapy->calls(), (std::vector<std::string>{"selectDevice driver=rtlsdr,serial=1"}));
    // Until it opens, calls still go to the receiver in use.
    EXPECT_EQ(s.set.deviceName(), "RZ640 USB3 FT601");
    ASSERT_TRUE(s.set.open());
    EXPECT_EQ(s.set.deviceName(), "RTL-SDR (SN 1)");
    EXPECT_EQ(s.soapy->opens.load(), 1);
    EXPECT_EQ(s.rz640->calls(), (std::vector<std::string>{"close"}));
    s.set.setCenterFrequency(99'000'000);
    EXPECT_EQ(s.soapy->calls().back(), "setCenterFrequency 99000000");

    s.set.close();
    // "Auto" (empty) and the RZ640's own identifier both choose the RZ640.
    for (const std::string id : {"", "RZ640"}) {
        s.set.selectDevice(id);
        ASSERT_TRUE(s.set.open());
        EXPECT_EQ(s.set.deviceName(), "RZ640 USB3 FT601");
        s.set.close();
    }
}

TEST(ReceiverSet, TheChannelReachesBothDrivers)
{
    Set s;
    s.set.setChannel(1);
    EXPECT_EQ(s.rz640->calls().back(), "setChannel 1");
    EXPECT_EQ(s.soapy->calls().back(), "setChannel 1");
}

} // namespace
