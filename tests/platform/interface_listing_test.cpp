// The walk over a system's interface set, one member index at a time.

#include "platform/interface_listing.h"

#include <gtest/gtest.h>

namespace {

using platform::EnumOutcome;
using platform::RegistryProperty;

// An interface as the set would hand it out, with what fails to be read.
struct Member {
    std::string path;
    std::string instanceId;
    bool enumFails = false;
    bool detailFails = false;
    bool instanceIdFails = false;
};

class FakeInterfaceSet : public platform::InterfaceSet {
public:
    explicit FakeInterfaceSet(std::vector<Member> members) : members_(std::move(members)) {}

    EnumOutcome enumInterface(std::uint32_t index) override
    {
        asked.push_back(index);
        current_ = index < members_.size() ? &members_[index] : nullptr;
        if (!current_)
            return EnumOutcome::noMoreItems;
        return current_->enumFails ? EnumOutcome::failed : EnumOutcome::found;
    }
    std::optional<std::string> interfacePath() override
    {
        return current_->detailFails ? std::nullopt : std::optional(current_->path);
    }
    std::optional<std::string> instanceId() override
    {
        return current_->instanceIdFails ? std::nullopt : std::optional(current_->instanceId);
    }
    std::optional<std::string> registryProperty(RegistryProperty property) override
    {
        if (property == RegistryProperty::manufacturer)
            return current_->path == "b" ? std::nullopt : std::optional<std::string>("Maker");
        return "Thing";
    }

    std::vector<std::uint32_t> asked;

private:
    std::vector<Member> members_;
    Member *current_ = nullptr;
};

std::vector<std::string> pathsOf(const std::vector<platform::DeviceEntry> &entries)
{
    std::vector<std::string> paths;
    for (const platform::DeviceEntry &entry : entries)
        paths.push_back(entry.devicePath);
    return paths;
}

TEST(InterfaceListing, SkipsWhatCannotBeReadAndListsTheRest)
{
    FakeInterfaceSet set({{"a", "USB\\VID_131B&PID_0010\\A", true},
                          {"b", "USB\\VID_131B&PID_0010\\B", false, true},
                          {"c", "USB\\VID_131B&PID_0010\\C", false, false, true},
                          {"d", "USB\\VID_131B&PID_0010\\D"}});
    const std::vector<platform::DeviceEntry> entries = platform::listInterfaceSet(set);
    // A failed index and a failed detail give no entry; an identifier that
    // cannot be read counts as empty, which the record layer then drops.
    EXPECT_EQ(pathsOf(entries), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(entries[0].instanceId, "");
    EXPECT_EQ(entries[1].instanceId, "USB\\VID_131B&PID_0010\\D");
    EXPECT_EQ(entries[1].manufacturer, "Maker");
    EXPECT_EQ(entries[1].description, "Thing");
    EXPECT_FALSE(entries[1].identity) << "this system knows devices only by their identifiers";
    EXPECT_EQ(set.asked, (std::vector<std::uint32_t>{0, 1, 2, 3, 4})) << "ends at the first index past the last";
}

TEST(InterfaceListing, StopsAfter127Interfaces)
{
    std::vector<Member> members;
    for (int i = 0; i < 130; ++i)
        members.push_back({"p" + std::to_string(i), "USB\\VID_131B&PID_0010\\S" + std::to_string(i)});
    FakeInterfaceSet set(members);
    const std::vector<platform::DeviceEntry> entries = platform::listInterfaceSet(set);
    ASSERT_EQ(entries.size(), 127U);
    EXPECT_EQ(entries.back().devicePath, "p126");
    EXPECT_EQ(set.asked.back(), 126U);
}

}  // namespace
