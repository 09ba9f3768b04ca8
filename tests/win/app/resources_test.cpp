// The program's resources as this process loads them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/resource_string.h"
#include "res/resource.h"

namespace {

constexpr WORD kTraditionalChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);

struct Found {
    std::string type;
    std::string name;
    WORD language;
};

std::string ResourceName(LPCSTR name) {
    return IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)) : std::string(name);
}

std::vector<Found> EveryResource() {
    std::vector<Found> found;
    struct Walk {
        static BOOL CALLBACK Language(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR list) {
            reinterpret_cast<std::vector<Found>*>(list)->push_back({ResourceName(type), ResourceName(name), language});
            return TRUE;
        }
        static BOOL CALLBACK Name(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR list) {
            return EnumResourceLanguagesA(module, type, name, Language, list);
        }
        static BOOL CALLBACK Type(HMODULE module, LPSTR type, LONG_PTR list) {
            return EnumResourceNamesA(module, type, Name, list);
        }
    };
    EnumResourceTypesA(ResourceInstance(), Walk::Type, reinterpret_cast<LONG_PTR>(&found));
    return found;
}

TEST(Resources, EveryResourceIsTraditionalChinese) {
    const auto resources = EveryResource();
    ASSERT_FALSE(resources.empty());
    for (const Found& resource : resources) {
        EXPECT_EQ(resource.language, kTraditionalChinese) << resource.type << " " << resource.name;
    }
    // The pieces named by id are there: dialogs, icon, banner, clips.
    for (auto [type, name] : std::vector<std::pair<std::string, std::string>>{
             {"#5", "#100"}, {"#5", "#102"}, {"#5", "#130"}, {"#5", "#132"},
             {"#14", "#128"}, {"#2", "#129"}, {"AVI", "#131"}, {"AVI", "#134"}}) {
        bool present = false;
        for (const Found& resource : resources) present |= resource.type == type && resource.name == name;
        EXPECT_TRUE(present) << type << " " << name;
    }
}

// Strings come whole and as typed: line breaks, a lone '%', the system's own typos,
// a text longer than any fixed buffer, the last and first slots of a block.
TEST(Resources, StringTable) {
    struct {
        UINT id;
        const char* text;
    } strings[] = {
        {0xE000, "ZOrix Online Flash Update Program"},
        {101, "About Firmware Online Update Program"},
        {127, "The file '%1' already exists.\nDo you want to replace it?"},
        {4, "The file '%1' already exists.\nDo you want to replace it?"},
        {115, "%1% of %2 Completed"},
        {128, "An error occured while opening the file to be downloaded, Error:%1"},
        {0xE017, "FtpCommand method (which is required to support FTP resumes) is not available on this machine. "
                 "Please upgrade to Internet Explorer 5 or later."},
        {15, "Resolved name to %1"},
        {0xE00F, "%1 sec"},
        {0xE010, "%1 min"},
    };
    for (const auto& s : strings) {
        SCOPED_TRACE(s.id);
        std::string text;
        EXPECT_TRUE(LoadResString(s.id, text));
        EXPECT_EQ(text, s.text);
    }
    // Ids between them are empty slots of the same blocks, or no block at all.
    for (UINT missing : {0u, 1u, 6u, 9u, 11u, 109u, 123u, 0xE00Au, 0xE019u, 0x7000u}) {
        SCOPED_TRACE(missing);
        std::string text = "left over";
        EXPECT_FALSE(LoadResString(missing, text));
        EXPECT_EQ(text, "");
    }
}

}  // namespace
