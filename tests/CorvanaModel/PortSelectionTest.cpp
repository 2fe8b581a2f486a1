#include "Corvana/model/PortSelection.h"

#include "Localization/L10n.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// "USB0" is a USB adapter (with a vendor id) at /dev/ttyUSB0, "S0" the built-in /dev/ttyS0.
std::vector<SerialPortInfo> ports(const std::string& names) {
    std::vector<SerialPortInfo> list;
    std::istringstream words(names);
    for (std::string name; words >> name;) {
        SerialPortInfo info;
        info.path = "/dev/tty" + name;
        if (name.starts_with("USB") || name.starts_with("ACM")) {
            info.vendorID = 0x0403;
        }
        list.push_back(info);
    }
    return list;
}

// The previous list's ports by identity, read with `parse`; none for "-", the first list.
std::optional<std::set<std::string>>
seen(const std::string& previous, std::vector<SerialPortInfo> (*parse)(const std::string&)) {
    if (previous == "-") {
        return std::nullopt;
    }
    std::set<std::string> identities;
    for (const SerialPortInfo& info : parse(previous)) {
        identities.insert(info.identity());
    }
    return identities;
}

TEST(PortSelection, ChoosesByFreshAdapterThenFirstAdapterForAMissingPort) {
    const struct {
        const char* selected; // without "/dev/tty"; empty for none
        const char* previous; // "-" for the first list
        const char* list;
        const char* chosen; // empty to keep the selection
    } cases[] = {
        // First list: only a missing selection moves, and only to an adapter.
        {"", "-", "S0 USB1 USB0", "USB1"},
        {"ACM4", "-", "S0", ""},
        {"S0", "-", "S0 USB0", ""},
        {"USB0", "-", "", ""},
        // A fresh adapter replaces a built-in or missing port, never a present adapter.
        {"S0", "S0", "S0 USB0", "USB0"},
        {"ACM4", "S0", "S0 USB2", "USB2"},
        {"USB0", "USB0", "USB0 USB1", ""},
        {"USB0", "USB0 USB1", "USB1", "USB1"}, // not fresh, but the first adapter
        {"S0", "S0", "S0 S1", ""},             // a fresh built-in port is no reason
        // No fresh adapter: a missing selection still falls to the first adapter.
        {"USB9", "USB0 S0", "S0 USB0", "USB0"},
        {"USB9", "USB0", "S0", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.selected) + " after " + c.previous + " with " + c.list);
        const std::string selected = *c.selected ? std::string("/dev/tty") + c.selected : "";
        const auto chosen = PortSelection::choose(ports(c.list), selected, seen(c.previous, ports));
        EXPECT_EQ(chosen,
                  *c.chosen ? std::optional("/dev/tty" + std::string(c.chosen)) : std::nullopt);
    }
}

// "USB0=A" is the adapter with the by-id link A at /dev/ttyUSB0; selections name "A" for its
// link and "USB0" for the node.
std::vector<SerialPortInfo> linked(const std::string& names) {
    std::vector<SerialPortInfo> list;
    std::istringstream words(names);
    for (std::string word; words >> word;) {
        const auto equals = word.find('=');
        SerialPortInfo info;
        info.path = "/dev/tty" + word.substr(0, equals);
        info.vendorID = 0x0403;
        if (equals != std::string::npos) {
            info.stableLink = "/dev/serial/by-id/usb-" + word.substr(equals + 1);
        }
        list.push_back(info);
    }
    return list;
}

std::string named(const std::string& name) {
    if (name.empty()) {
        return name;
    }
    return name.starts_with("USB") ? "/dev/tty" + name : "/dev/serial/by-id/usb-" + name;
}

TEST(PortSelection, RemembersAdaptersByIdentityWhereverTheyArePlugged) {
    const struct {
        const char* selected;
        const char* previous; // "-" for the first list
        const char* list;
        const char* chosen; // empty to keep the selection
        const char* found;  // the node the selection finds, empty for none
    } cases[] = {
        // A node remembered before identities becomes the identity of the adapter there.
        {"USB0", "-", "USB0=A", "A", "USB0"},
        {"USB0", "USB0=A", "USB0=A USB1=B", "A", "USB0"},
        // The identity finds the adapter on another node, even when another one holds the old.
        {"A", "-", "USB3=A", "", "USB3"},
        {"A", "USB0=A", "USB0=B USB1=A", "", "USB1"},
        // A fresh adapter does not take over from the remembered one on its new node; with
        // nothing selected it does.
        {"A", "USB0=A", "USB4=A USB5=C", "", "USB4"},
        {"", "USB0=A", "USB0=A USB1=B", "B", ""},
        // Gone: the first adapter takes over by its identity.
        {"A", "-", "USB0=B USB1", "B", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.selected) + " after " + c.previous + " with " + c.list);
        const auto list = linked(c.list);
        const auto chosen =
            PortSelection::choose(list, named(c.selected), seen(c.previous, linked));
        EXPECT_EQ(chosen, *c.chosen ? std::optional(named(c.chosen)) : std::nullopt);
        const SerialPortInfo* found = PortSelection::find(list, named(c.selected));
        EXPECT_EQ(found ? found->path : "", *c.found ? named(c.found) : "");
    }
}

TEST(PortSelection, VirtualPortComesLastAndIsChosenOnlyWithoutChoiceAndAdapter) {
    const struct {
        const char* selected; // without "/dev/tty"; "virtual" for the virtual port, empty for none
        const char* previous; // "-" for the first list
        const char* list;
        bool offer;         // the window offers the virtual port, the headless server does not
        const char* chosen; // empty to keep the selection
    } cases[] = {
        // First run without an adapter: the virtual port, so that Start works at once.
        {"", "-", "", true, "virtual"},
        {"", "-", "S0", true, "virtual"},
        {"", "S0", "S0 S1", true, "virtual"},
        {"", "-", "S0 USB0", true, "USB0"}, // an adapter is what the user came for
        {"", "-", "S0", false, ""},
        // A remembered port, present or not, stays chosen.
        {"ACM4", "-", "S0", true, ""},
        {"S0", "-", "S0", true, ""},
        {"virtual", "-", "S0 USB0", true, ""},
        {"virtual", "USB0", "USB0", true, ""},
        {"virtual", "-", "", false, ""},
        // Like a built-in port, the virtual one gives way to an adapter plugged in meanwhile.
        {"virtual", "S0", "S0 USB1", true, "USB1"},
    };
    const auto withPrefix = [](const std::string& name) {
        return name.empty() || name == "virtual" ? name : "/dev/tty" + name;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.selected) + " after " + c.previous + " with " + c.list +
                     (c.offer ? "" : " (not offered)"));
        const auto chosen = PortSelection::choose(ports(c.list), withPrefix(c.selected),
                                                  seen(c.previous, ports), c.offer);
        EXPECT_EQ(chosen, *c.chosen ? std::optional(withPrefix(c.chosen)) : std::nullopt);
    }

    // The picker lists the ports in the scanner's order and the virtual port after them, always.
    const L10n::ScopedLanguage english(Language::en);
    for (const char* list : {"", "S0", "USB1 USB0 S0"}) {
        SCOPED_TRACE(list);
        const auto scanned = ports(list);
        const auto entries = PortSelection::entries(scanned);
        ASSERT_EQ(entries.size(), scanned.size() + 1);
        for (std::size_t i = 0; i < scanned.size(); ++i) {
            EXPECT_EQ(entries[i], (PortSelection::Entry{scanned[i].identity(),
                                                        scanned[i].displayName(), false}));
        }
        EXPECT_EQ(entries.back(), (PortSelection::Entry{"virtual", "Virtual port", true}));
    }
}

} // namespace
