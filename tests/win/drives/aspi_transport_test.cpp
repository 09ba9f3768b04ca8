// Discovery on the 98 family against a scripted ASPI library: the whole log per
// machine, the bound of every wait, and no block, buffer or event handed to the
// library again while a pending request owns it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drives/aspi_blocks.h"
#include "tests/win/drives/scripted_machine.h"

namespace {

using namespace std::string_literals;

const std::string kLoaded = "Load ASPI driver ok!\r\n";

ScriptedAdapter Adapter(const std::string& name, BYTE maxTargets = 0, bool answers = true) {
    return ScriptedAdapter{name, maxTargets, answers};
}

ScriptedTarget Target(BYTE adapter, BYTE target, int letter, Reply inquiry = Reply::kAnswer) {
    ScriptedTarget t;
    t.adapter = adapter;
    t.target = target;
    t.letter = letter;
    t.inquiry = inquiry;
    return t;
}

std::string Listed(char letter, const std::string& parameters, int busType, const std::string& identity = kIdentity) {
    return "Drive "s + letter + ": ,Parameters: " + parameters + " ,BusType: " + std::to_string(busType) + "\r\n" +
           identity + "\r\n";
}

TEST(AspiDiscovery, AnUnusableLibraryEndsTheScan) {
    struct {
        const char* what;
        void (*script)(ScriptedMachine&);
        std::string lines;
    } cases[] = {
        {"library missing", [](ScriptedMachine& m) { m.libraryLoads = false; }, "Load ASPI driver failed!\r\n"},
        {"GetASPI32SupportInfo missing", [](ScriptedMachine& m) { m.hasSupportInfo = false; },
         "Load ASPI driver failed!\r\n"},
        {"SendASPI32Command missing", [](ScriptedMachine& m) { m.hasSend = false; }, "Load ASPI driver failed!\r\n"},
        {"support information failed", [](ScriptedMachine& m) { m.supportInfo = MAKEWORD(1, aspi::SS_ERR); },
         kLoaded + "Get ASPI Support Information failed!\r\n"},
        {"SS_NO_ADAPTERS with no adapter", [](ScriptedMachine& m) { m.supportInfo = MAKEWORD(0, aspi::SS_NO_ADAPTERS); },
         kLoaded + "No host adapter found!\r\n"},
        {"SS_COMP with no adapter", [](ScriptedMachine& m) { m.supportInfo = MAKEWORD(0, aspi::SS_COMP); },
         kLoaded + "No host adapter found!\r\n"},
        {"SS_NO_ADAPTERS with a count still scans",
         [](ScriptedMachine& m) {
             m.supportInfo = MAKEWORD(1, aspi::SS_NO_ADAPTERS);
             m.adapters = {Adapter("ESDI_506")};
             m.targets = {Target(0, 0, 3)};
         },
         kLoaded + Listed('D', "0/0/0", 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedMachine machine(false);
        c.script(machine);
        EXPECT_EQ(Discover(machine), AspiLog(c.lines));
        EXPECT_EQ(machine.Faults(), std::vector<std::string>());
    }
}

TEST(AspiDiscovery, LogsEachMachineAsExpected) {
    struct {
        const char* what;
        std::vector<ScriptedAdapter> adapters;
        std::vector<ScriptedTarget> targets;
        std::string lines;
        std::vector<DWORD> waits;
    } cases[] = {
        // Targets scanned: HA_Unique[3], 0 meaning 8; LUN 0 only; CD-ROMs only.
        {"HA_Unique[3] 0 scans targets 0 to 7",
         {Adapter("SCSI")},
         {Target(0, 7, 3), Target(0, 8, 4)},
         Listed('D', "0/7/0", 0),
         {1000}},
        {"HA_Unique[3] 16 scans targets 0 to 15",
         {Adapter("SCSI", 16)},
         {Target(0, 15, 3), Target(0, 16, 4)},
         Listed('D', "0/15/0", 0),
         {1000}},
        {"a drive on LUN 1 is not found", {Adapter("SCSI")}, {[] { auto t = Target(0, 1, 3); t.lun = 1; return t; }()}, "", {}},
        {"a target that is not a CD-ROM", {Adapter("SCSI")}, {[] { auto t = Target(0, 1, 3); t.type = 0; return t; }()}, "", {}},
        {"an adapter whose inquiry fails is skipped",
         {Adapter("ESDI_506", 0, false), Adapter("USBSTOR")},
         {Target(0, 0, 3), Target(1, 0, 4)},
         Listed('E', "1/0/0", 7),
         {1000}},

        // Bus type from the adapter's name, case-sensitive, first match wins, within 16 bytes up to a NUL.
        {"bus types by adapter name",
         {Adapter("ESDI_506"), Adapter("NTMAPHLP"), Adapter("USBSTOR"), Adapter("ESDI over USB"), Adapter("usb esdi"),
          Adapter("SCSI ADAPTERXUSB"), Adapter("NUL\0USB"s)},
         {Target(0, 0, 3), Target(1, 0, 4), Target(2, 0, 5), Target(3, 0, 6), Target(4, 0, 7), Target(5, 0, 8),
          Target(6, 0, 9)},
         Listed('D', "0/0/0", 2) + Listed('E', "1/0/0", 4) + Listed('F', "2/0/0", 7) + Listed('G', "3/0/0", 2) +
             Listed('H', "4/0/0", 0) + Listed('I', "5/0/0", 7) + Listed('J', "6/0/0", 0),
         {1000, 1000, 1000, 1000, 1000, 1000, 1000}},

        // The drive letter and the INQUIRY.
        {"a failed disk information request",
         {Adapter("ESDI_506")},
         {Target(0, 1, -1), Target(0, 2, 25)},
         "Get Drive Letter failed on 0:1:0. Error 0xf\r\n" + Listed('Z', "0/2/0", 2),
         {1000}},
        {"an INQUIRY that ends at once is not waited for", {Adapter("ESDI_506")}, {Target(0, 1, 3, Reply::kAtOnce)},
         Listed('D', "0/1/0", 2), {}},
        {"an INQUIRY refused at once",
         {Adapter("ESDI_506")},
         {Target(0, 1, 3, Reply::kRefused)},
         "Issue Inquiry failed on 0:1:0, Letter D:. Error 0x1f\r\n",
         {}},
        {"a pending INQUIRY that never ends, then more targets",
         {Adapter("ESDI_506")},
         {Target(0, 0, 3, Reply::kNever), Target(0, 1, 4), Target(0, 2, 5, Reply::kNever), Target(0, 3, 6)},
         "Issue Inquiry failed on 0:0:0, Letter D:. Error 0x3e5\r\n" + Listed('E', "0/1/0", 2) +
             "Issue Inquiry failed on 0:2:0, Letter F:. Error 0x3e5\r\n" + Listed('G', "0/3/0", 2),
         {1000, 1000, 1000, 1000}},
        {"INQUIRY data with NUL bytes keep them",
         {Adapter("ESDI_506")},
         {[] { auto t = Target(0, 1, 3); t.identity = "ZORIX   \0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"s; return t; }()},
         Listed('D', "0/1/0", 2, "ZORIX   \0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"s),
         {1000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedMachine machine(false);
        machine.adapters = c.adapters;
        machine.targets = c.targets;
        EXPECT_EQ(Discover(machine), AspiLog(kLoaded + c.lines));
        EXPECT_EQ(machine.waits, c.waits);
        EXPECT_EQ(machine.Faults(), std::vector<std::string>());
    }
}

}  // namespace
