// Discovery on the NT family against scripted devices: the whole log per machine,
// the bound of every wait, and no request memory reused while a request owns it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win/drives/scripted_machine.h"

namespace {

using namespace std::string_literals;

template <typename Change>
ScriptedDrive Drive(char letter, Change change) {
    ScriptedDrive drive;
    drive.letter = letter;
    change(drive);
    return drive;
}
ScriptedDrive Drive(char letter) {
    return Drive(letter, [](ScriptedDrive&) {});
}

const std::string kListedD = "Drive D: ,Parameters: 1/0/0 ,BusType: 2\r\n"s + kIdentity + "\r\n";
const std::string kListedE = "Drive E: ,Parameters: 1/0/0 ,BusType: 2\r\n"s + kIdentity + "\r\n";

TEST(NtDiscovery, LogsEachMachineAsExpected) {
    struct {
        const char* what;
        std::vector<ScriptedDrive> drives;
        std::string lines;
        std::vector<DWORD> waits;
    } cases[] = {
        // Drives that answer: one line pair each, in the order of the roots.
        {"an answering drive", {Drive('D')}, kListedD, {4000, 4000, 4000}},
        {"drives in root order; A: and B: never opened",
         {Drive('A'), Drive('B'), Drive('D', [](auto& d) { d.port = 0, d.target = 1, d.busType = BusTypeUsb; }),
          Drive('E', [](auto& d) { d.port = 2, d.target = 5, d.lun = 1, d.busType = BusTypeScsi; })},
         "Drive D: ,Parameters: 0/1/0 ,BusType: 7\r\n"s + kIdentity + "\r\n" +
             "Drive E: ,Parameters: 2/5/1 ,BusType: 1\r\n" + kIdentity + "\r\n",
         {4000, 4000, 4000, 4000, 4000, 4000}},
        {"INQUIRY data with NUL bytes keep them",
         {Drive('D', [](auto& d) { d.identity = "ZORIX   \0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"s; })},
         "Drive D: ,Parameters: 1/0/0 ,BusType: 2\r\nZORIX   \0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\r\n"s,
         {4000, 4000, 4000}},
        // Regression guard: the data of the drive before must not name this one.
        {"an INQUIRY that ends without data after a drive that answered",
         {Drive('D'), Drive('E', [](auto& d) { d.inquiry = Reply::kEmpty; })},
         kListedD + "Drive E: ,Parameters: 1/0/0 ,BusType: 2\r\n" + std::string(28, '\0') + "\r\n",
         {4000, 4000, 4000, 4000, 4000, 4000}},

        // Drives skipped without a line.
        {"a device that cannot be opened", {Drive('D', [](auto& d) { d.opens = false; })}, "", {}},
        {"not a CD-ROM", {Drive('C', [](auto& d) { d.type = DRIVE_FIXED; })}, "", {}},
        {"a short address reply", {Drive('D', [](auto& d) { d.address = ScriptedDrive::Address::kShort; })}, "", {4000}},

        // A failed or unanswered address request: the drive is examined as 0:0:0. The
        // request is overlapped and waited for, as the handle is (the machine faults
        // one without an OVERLAPPED).
        {"a failed address request",
         {Drive('D', [](auto& d) { d.address = ScriptedDrive::Address::kFail; })},
         "Drive D: ,Parameters: 0/0/0 ,BusType: 2\r\n"s + kIdentity + "\r\n",
         {4000, 4000}},
        {"an address request that never completes",
         {Drive('D', [](auto& d) { d.address = ScriptedDrive::Address::kNever; })},
         "Drive D: ,Parameters: 0/0/0 ,BusType: 2\r\n"s + kIdentity + "\r\n",
         {4000, 0, 4000, 4000}},

        // INQUIRY that does not end: one bounded wait, a line, and the next drive goes on.
        {"an INQUIRY that never completes",
         {Drive('D', [](auto& d) { d.inquiry = Reply::kNever; })},
         "Issue Inquiry failed on 1:0:0, Letter D:. Error 0x3e5\r\n",
         {4000, 4000, 0}},
        {"a drive after one whose INQUIRY never completes",
         {Drive('D', [](auto& d) { d.inquiry = Reply::kNever; }), Drive('E')},
         "Issue Inquiry failed on 1:0:0, Letter D:. Error 0x3e5\r\n" + kListedE,
         {4000, 4000, 0, 4000, 4000, 4000}},
        {"a drive after one whose INQUIRY ended when cancelled",
         {Drive('D', [](auto& d) { d.inquiry = Reply::kCancellable; }), Drive('E')},
         "Issue Inquiry failed on 1:0:0, Letter D:. Error 0x3e5\r\n" + kListedE,
         {4000, 4000, 0, 4000, 4000, 4000}},
        {"an INQUIRY refused at once is not waited for",
         {Drive('D', [](auto& d) { d.inquiry = Reply::kRefused; })},
         "Issue Inquiry failed on 1:0:0, Letter D:. Error 0x1\r\n",
         {4000}},

        // Bus type not answered: listed with bus type 0 after its line.
        {"a bus type query that never completes",
         {Drive('D', [](auto& d) { d.busQuery = Reply::kNever; }), Drive('E')},
         "Failed to find bus type on 1:0:0, Letter D:. Error 0x3e5\r\n"
         "Drive D: ,Parameters: 1/0/0 ,BusType: 0\r\n"s +
             kIdentity + "\r\n" + kListedE,
         {4000, 4000, 4000, 0, 4000, 4000, 4000}},
        {"a bus type query refused at once",
         {Drive('D', [](auto& d) { d.busQuery = Reply::kRefused; })},
         "Failed to find bus type on 1:0:0, Letter D:. Error 0x1\r\n"
         "Drive D: ,Parameters: 1/0/0 ,BusType: 0\r\n"s +
             kIdentity + "\r\n",
         {4000, 4000}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedMachine machine(true);
        machine.drives = c.drives;
        EXPECT_EQ(Discover(machine), NtLog(c.lines));
        EXPECT_EQ(machine.waits, c.waits);
        EXPECT_EQ(machine.Faults(), std::vector<std::string>());
        for (const std::string& path : machine.opened) EXPECT_TRUE(path != "\\\\.\\A:" && path != "\\\\.\\B:") << path;
    }
}

TEST(NtDiscovery, RootsBeyondTheUsualBufferAreStillExamined) {
    // 24 roots fit the 97-byte buffer; 26 need 105 bytes and a second call.
    struct {
        char last;
        std::vector<DWORD> lengths;
    } cases[] = {{'X', {97}}, {'Z', {97, 106}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last);
        ScriptedMachine machine(true);
        for (char letter = 'A'; letter < c.last; ++letter) {
            machine.drives.push_back(Drive(letter, [](auto& d) { d.type = DRIVE_FIXED; }));
        }
        machine.drives.push_back(Drive(c.last));
        EXPECT_EQ(Discover(machine), NtLog("Drive "s + c.last + ": ,Parameters: 1/0/0 ,BusType: 2\r\n" + kIdentity +
                                           "\r\n"));
        EXPECT_EQ(machine.rootsLengths, c.lengths);
        EXPECT_EQ(machine.Faults(), std::vector<std::string>());
    }
}

}  // namespace
