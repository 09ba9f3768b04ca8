#include "tests/win/support/list_view.h"

#include <commctrl.h>

#include <cstdint>
#include <type_traits>

namespace {

// LVITEMA as a 32-bit process lays it out: a 32-bit list (the shipped program) reads
// the item through its own pointer size.
struct ListItem32 {
    UINT mask;
    int iItem, iSubItem;
    UINT state, stateMask;
    uint32_t pszText;
    int cchTextMax, iImage;
    uint32_t lParam;
    int iIndent;
};

// A block of memory in the process that owns `window`.
class WindowProcessMemory {
public:
    WindowProcessMemory(HWND window, size_t size) : size_(size) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                               FALSE, processId);
        if (process_ != nullptr) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~WindowProcessMemory() {
        if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_ != nullptr) CloseHandle(process_);
    }
    WindowProcessMemory(const WindowProcessMemory&) = delete;
    WindowProcessMemory& operator=(const WindowProcessMemory&) = delete;

    bool Valid() const { return address_ != nullptr; }
    // Whether the process is a 32-bit one on 64-bit Windows.
    bool Is32Bit() const {
        BOOL wow64 = FALSE;
        return sizeof(void*) == 4 || (IsWow64Process(process_, &wow64) && wow64);
    }
    char* Address(size_t offset = 0) const { return static_cast<char*>(address_) + offset; }
    bool Write(size_t offset, const void* data, size_t size) const {
        return offset + size <= size_ && WriteProcessMemory(process_, Address(offset), data, size, nullptr);
    }
    bool Read(size_t offset, void* data, size_t size) const {
        return offset + size <= size_ && ReadProcessMemory(process_, Address(offset), data, size, nullptr);
    }

private:
    size_t size_;
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

constexpr size_t kTextSize = 1024;

// The item structure, in the layout of the list's process, with its text buffer after it.
template <class Item>
bool WriteTextItem(const WindowProcessMemory& memory, int column) {
    Item item{};
    item.iSubItem = column;
    char* text = memory.Address(sizeof item);
    if constexpr (std::is_pointer_v<decltype(item.pszText)>) {
        item.pszText = text;
    } else {
        item.pszText = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text));  // below 4 GB in a 32-bit process
    }
    item.cchTextMax = kTextSize;
    return memory.Write(0, &item, sizeof item);
}

std::string ItemText(HWND list, const WindowProcessMemory& memory, int row, int column) {
    const bool narrow = memory.Is32Bit();
    if (!(narrow ? WriteTextItem<ListItem32>(memory, column) : WriteTextItem<LVITEMA>(memory, column))) return {};
    const auto length = static_cast<size_t>(
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory.Address())));
    std::string text(length < kTextSize ? length : kTextSize - 1, '\0');
    memory.Read(narrow ? sizeof(ListItem32) : sizeof(LVITEMA), text.data(), text.size());
    return text;
}

}  // namespace

ListRows ListViewRows(HWND list) {
    WindowProcessMemory memory(list, sizeof(LVITEMA) + kTextSize);
    if (!memory.Valid()) return {};
    const HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    const int columns = header != nullptr ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    ListRows rows(static_cast<size_t>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
    for (size_t row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < columns; ++column) {
            rows[row].push_back(ItemText(list, memory, static_cast<int>(row), column));
        }
    }
    return rows;
}

bool ClickListViewRow(HWND list, int row, WPARAM keys) {
    WindowProcessMemory memory(list, sizeof(RECT));
    RECT place{};
    place.left = LVIR_LABEL;
    if (!memory.Valid() || !memory.Write(0, &place, sizeof place) ||
        !SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory.Address())) ||
        !memory.Read(0, &place, sizeof place)) {
        return false;
    }
    const LPARAM at = MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
    PostMessageA(list, WM_LBUTTONUP, keys, at);
    return true;
}
