#include "audio/AsioDriverList.h"
#include "audio/AsioHost.h"
#include "audio/AsioRegistryEntry.h"
#include "tests/audio/AudioTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

std::string nameAt(const AsioDriverList& list, int index, int size = 256)
{
    std::vector<char> buffer(static_cast<std::size_t>(size), '#');
    EXPECT_EQ(list.driverName(index, buffer.data(), size), ASE_OK);
    return buffer.data();
}

// The name the current driver gives ASIOInit, or the no-driver text.
std::string currentDriverName()
{
    ASIODriverInfo info{};
    info.asioVersion = 2;
    ASIOInit(&info);
    return info.name;
}

} // namespace

TEST(AsioRegistryEntry, ReadsValuesAndClassIdentifiers)
{
    TestFolder folder("asio-entry");
    {
        std::ofstream out(folder.path() / "entry");
        out << "# a comment = not a value\n\n  Key =  Spaced Name  \nserver = ../lib/driver.so\nchannels = 4\nbad = 4x\n";
    }
    const auto entry = AsioRegistryEntry::read(folder.path() / "entry");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->value("key"), "Spaced Name");
    EXPECT_FALSE(entry->has("# a comment"));
    EXPECT_EQ(entry->pathValue("server"), folder.path() / "../lib/driver.so");
    EXPECT_EQ(entry->intValue("channels", 2), 4);
    EXPECT_EQ(entry->intValue("bad", 2), 2);
    EXPECT_EQ(entry->intValue("absent", 2), 2);
    EXPECT_FALSE(AsioRegistryEntry::read(folder.path() / "missing"));

    const auto id = parseAsioClassId("{9C7E2B14-3d5a-4f8e-b1c6-2a9d8e4f7b03}");
    ASSERT_TRUE(id);
    EXPECT_EQ(*id, (AsioClassId{0x9c7e2b14, 0x3d5a, 0x4f8e, {0xb1, 0xc6, 0x2a, 0x9d, 0x8e, 0x4f, 0x7b, 0x03}}));
    EXPECT_FALSE(parseAsioClassId("9c7e2b14-3d5a-4f8e-b1c6-2a9d8e4f7b03"));
    EXPECT_FALSE(parseAsioClassId("{9c7e2b14-3d5a-4f8e-b1c6-2a9d8e4f7b0g}"));
    EXPECT_FALSE(parseAsioClassId("{9c7e2b14+3d5a-4f8e-b1c6-2a9d8e4f7b03}"));
}

TEST(AsioDriverList, ScanListsOnlyDriversWithAServerWithoutGaps)
{
    TestFolder first("asio-registry");
    TestFolder second("asio-registry");
    auto missingServer = scriptedEntry("Absent");
    missingServer["server"] = "/nonexistent/libdriver.so";
    first.writeEntry("a-absent", missingServer);
    first.writeEntry("b-plain", scriptedEntry("Plain"));
    first.writeEntry("c-described", scriptedEntry("Described", {{"description", "A Described Driver"}}));
    auto noClassId = scriptedEntry("NoClassId");
    noClassId.erase("clsid");
    first.writeEntry("d-noclsid", noClassId);
    // A relative server path counts from the entry's folder.
    auto relative = scriptedEntry("Relative");
    relative["server"] = std::filesystem::relative(RTSA_SCRIPTED_ASIO_DRIVER, second.path()).string();
    second.writeEntry("a-relative", relative);
    second.writeEntry("b-plain-again", scriptedEntry("Plain", {{"description", "Second copy"}}));

    AsioDriverList list({first.path(), second.path(), "/nonexistent/folder"});
    ASSERT_EQ(list.driverCount(), 3);
    EXPECT_EQ(nameAt(list, 0), "Plain");
    EXPECT_EQ(nameAt(list, 1), "A Described Driver");
    EXPECT_EQ(nameAt(list, 2), "Relative");

    char buffer[8];
    EXPECT_EQ(list.driverName(3, buffer, sizeof buffer), kAsioListNoSuchDriver);
    EXPECT_EQ(list.driverName(-1, buffer, sizeof buffer), kAsioListNoSuchDriver);
    EXPECT_EQ(list.driverName(0, nullptr, 8), kAsioListInvalidParameter);
}

TEST(AsioDriverList, LongNamesAreShortenedToFit)
{
    TestFolder folder("asio-registry");
    const std::string forty = "Forty Character Driver Name For Testing!";
    ASSERT_EQ(forty.size(), 40u);
    folder.writeEntry("long", scriptedEntry("Long", {{"description", forty}}));
    // A description longer than a record holds keeps its first 127 bytes, never half a character.
    folder.writeEntry("longer", scriptedEntry("Longer", {{"description", std::string(126, 'x') + "\xc3\xa9tail"}}));

    AsioDriverList list({folder.path()});
    EXPECT_EQ(nameAt(list, 0, 32), forty.substr(0, 28) + "...");
    EXPECT_EQ(nameAt(list, 0, 41), forty);
    EXPECT_EQ(nameAt(list, 0, 40), forty.substr(0, 36) + "...");
    EXPECT_EQ(nameAt(list, 1), std::string(126, 'x'));
}

TEST(AsioDriverList, OpenDriverHoldsOneObjectPerRecord)
{
    TestFolder folder("asio-registry");
    folder.writeEntry("one", scriptedEntry("One"));
    folder.writeEntry("refusing", scriptedEntry("Refusing", {{"fail", "create"}}));
    ScriptedDriverProbe probe;
    const int created = probe.counts().created;
    const int destroyed = probe.counts().destroyed;
    {
        AsioDriverList list({folder.path()});
        IASIO* driver = nullptr;
        EXPECT_EQ(list.openDriver(0, nullptr), kAsioListInvalidParameter);
        EXPECT_EQ(list.openDriver(2, &driver), kAsioListNoSuchDriver);
        EXPECT_EQ(list.openDriver(0, &driver), ASE_OK);
        ASSERT_NE(driver, nullptr);
        IASIO* again = nullptr;
        EXPECT_EQ(list.openDriver(0, &again), kAsioListDriverAlreadyOpen);
        EXPECT_EQ(again, nullptr);
        EXPECT_EQ(list.closeDriver(0), ASE_OK);
        EXPECT_EQ(probe.counts().destroyed, destroyed + 1);
        EXPECT_EQ(list.openDriver(0, &again), ASE_OK);
        // The server's own failure comes back as it is.
        IASIO* refused = nullptr;
        EXPECT_EQ(list.openDriver(1, &refused), ASE_HWMalfunction);
        EXPECT_EQ(refused, nullptr);
    }
    // The list releases what it still holds.
    EXPECT_EQ(probe.counts().created, created + 2);
    EXPECT_EQ(probe.counts().destroyed, destroyed + 2);
}

TEST(AsioHost, CallsWithoutADriverSetTheirDefaults)
{
    ASIOChannelInfo channel{};
    channel.type = ASIOSTInt32LSB;
    EXPECT_EQ(ASIOGetChannelInfo(&channel), ASE_NotPresent);
    EXPECT_STREQ(channel.name, "None");
    EXPECT_EQ(channel.channelGroup, -1);
    EXPECT_EQ(channel.type, 0);

    ASIODriverInfo info{};
    info.driverVersion = 9;
    EXPECT_EQ(ASIOInit(&info), ASE_NotPresent);
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(info.driverVersion, 0);

    int32_t inputs = 5;
    int32_t outputs = 5;
    EXPECT_EQ(ASIOGetChannels(&inputs, &outputs), ASE_NotPresent);
    EXPECT_EQ(inputs + outputs, 0);
    int32_t sizes[4] = {1, 2, 3, 4};
    EXPECT_EQ(ASIOGetBufferSize(&sizes[0], &sizes[1], &sizes[2], &sizes[3]), ASE_NotPresent);
    EXPECT_EQ(sizes[0] | sizes[1] | sizes[2] | sizes[3], 0);
    int dummy = 0;
    ASIOBufferInfo buffers[2] = {{0, 0, {&dummy, &dummy}}, {0, 1, {&dummy, &dummy}}};
    EXPECT_EQ(ASIOCreateBuffers(buffers, 2, 256, nullptr), ASE_NotPresent);
    for (const auto& b : buffers)
        EXPECT_TRUE(b.buffers[0] == nullptr && b.buffers[1] == nullptr);

    EXPECT_EQ(ASIOStart(), ASE_NotPresent);
    EXPECT_EQ(ASIOStop(), ASE_NotPresent);
    EXPECT_EQ(ASIOSetSampleRate(48000.0), ASE_NotPresent);
    EXPECT_EQ(ASIODisposeBuffers(), ASE_NotPresent);
    EXPECT_EQ(ASIOControlPanel(), ASE_NotPresent);
    ASIOSamples position = 7;
    ASIOTimeStamp time = 7;
    EXPECT_EQ(ASIOGetSamplePosition(&position, &time), ASE_NotPresent);
    EXPECT_EQ(position | time, 0);
    EXPECT_EQ(ASIOExit(), ASE_OK);
}

TEST(AsioHost, LoadingMakesADriverCurrentAndAFailedLoadRestoresThePrevious)
{
    TestFolder folder("asio-registry");
    folder.writeEntry("a", scriptedEntry("Alpha"));
    folder.writeEntry("b", scriptedEntry("Broken", {{"fail", "create"}}));
    auto garbled = scriptedEntry("Garbled");
    garbled["clsid"] = "{not-a-class-identifier}";
    folder.writeEntry("c", garbled);
    ScriptedDriverProbe probe;
    AsioDriverList list({folder.path()});
    ASSERT_EQ(list.driverCount(), 3); // a class identifier that does not parse is still listed

    ASSERT_TRUE(list.loadAsioDriver("Alpha"));
    EXPECT_EQ(currentDriverName(), "Alpha");

    EXPECT_FALSE(list.loadAsioDriver("Not Installed"));
    EXPECT_EQ(currentDriverName(), "Alpha");

    const int created = probe.counts().created;
    EXPECT_FALSE(list.loadAsioDriver("Broken"));
    EXPECT_EQ(probe.counts().created, created + 1); // Alpha, made again
    EXPECT_EQ(currentDriverName(), "Alpha");

    // Its class is all zero, which no server makes.
    EXPECT_FALSE(list.loadAsioDriver("Garbled"));
    EXPECT_EQ(currentDriverName(), "Alpha");

    list.removeCurrentDriver();
    EXPECT_EQ(currentDriverName(), "No ASIO Driver");
    EXPECT_FALSE(list.loadAsioDriver("Broken"));
    EXPECT_EQ(currentDriverName(), "No ASIO Driver");
}

TEST(AsioHost, ExitAndFailedInitReleaseTheCurrentDriver)
{
    TestFolder folder("asio-registry");
    folder.writeEntry("a", scriptedEntry("Alpha"));
    folder.writeEntry("b", scriptedEntry("Unready", {{"fail", "init"}}));
    ScriptedDriverProbe probe;
    const int destroyed = probe.counts().destroyed;
    {
        AsioDriverList list({folder.path()});
        ASSERT_TRUE(list.loadAsioDriver("Alpha"));
        ASIODriverInfo info{};
        info.asioVersion = 2;
        ASSERT_EQ(ASIOInit(&info), ASE_OK);
        EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
        EXPECT_EQ(info.driverVersion, 7);
        EXPECT_EQ(ASIOExit(), ASE_OK);
        EXPECT_EQ(probe.counts().destroyed, destroyed + 1);
        EXPECT_EQ(ASIOStart(), ASE_NotPresent);
        list.removeCurrentDriver(); // nothing left to do
        EXPECT_EQ(probe.counts().destroyed, destroyed + 1);

        ASSERT_TRUE(list.loadAsioDriver("Unready"));
        EXPECT_EQ(ASIOInit(&info), ASE_NotPresent);
        EXPECT_STREQ(info.errorMessage, "scripted init failure");
        EXPECT_EQ(ASIOStart(), ASE_NotPresent);
        // The list holds the object until it lets it go.
        EXPECT_EQ(probe.counts().destroyed, destroyed + 1);
        list.removeCurrentDriver();
        EXPECT_EQ(probe.counts().destroyed, destroyed + 2);

        ASSERT_TRUE(list.loadAsioDriver("Alpha"));
    }
    // Destroying the list that loaded it releases the current driver.
    EXPECT_EQ(probe.counts().destroyed, destroyed + 3);
    EXPECT_EQ(ASIOStart(), ASE_NotPresent);
}

TEST(AsioHost, CreateBuffersTakesOnlySizesOnTheStepsFromTheMinimum)
{
    TestFolder folder("asio-registry");
    folder.writeEntry("a", scriptedEntry("Offset", {{"min", "96"}, {"max", "2048"}, {"granularity", "64"}}));
    AsioDriverList list({folder.path()});
    ASSERT_TRUE(list.loadAsioDriver("Offset"));
    ASIODriverInfo info{};
    info.asioVersion = 2;
    ASSERT_EQ(ASIOInit(&info), ASE_OK);
    ASIOCallbacks callbacks{[](int32_t, ASIOBool) {}, nullptr, nullptr, nullptr};
    // Multiples of 64 counted from 0 are not sizes of this driver, nor is anything past its limits.
    for (const int32_t frames : {32, 64, 128, 256, 2048, 2112}) {
        ASIOBufferInfo buffer{ASIOFalse, 0, {nullptr, nullptr}};
        EXPECT_EQ(ASIOCreateBuffers(&buffer, 1, frames, &callbacks), ASE_InvalidParameter) << frames;
    }
    for (const int32_t frames : {96, 160, 288, 2016}) {
        ASIOBufferInfo buffer{ASIOFalse, 0, {nullptr, nullptr}};
        ASSERT_EQ(ASIOCreateBuffers(&buffer, 1, frames, &callbacks), ASE_OK) << frames;
        EXPECT_NE(buffer.buffers[0], nullptr);
        EXPECT_EQ(ASIODisposeBuffers(), ASE_OK);
    }
    EXPECT_EQ(ASIOExit(), ASE_OK);
}

TEST(AsioDriverList, TheShippedDriversAreListedFromBesideTheExecutable)
{
    AsioDriverList list(AsioDriverList::defaultFolders());
    std::vector<std::string> names;
    for (int index = 0; index < list.driverCount(); ++index)
        names.push_back(nameAt(list, index));
    EXPECT_NE(std::find(names.begin(), names.end(), "PortAudio Output"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "WAV File Writer"), names.end());
}
