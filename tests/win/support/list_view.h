// Reading and clicking the rows of a list view, in this process or in another (the
// real program started by a test). The list view writes its answers through the
// pointers it receives, so the structures and buffers lie in the list's own
// process (VirtualAllocEx), whichever process that is.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

using ListRows = std::vector<std::vector<std::string>>;

// Every row, every column (as many as the header has), top to bottom.
ListRows ListViewRows(HWND list);

// Clicks row `row` in its first column, with `keys` (MK_SHIFT, MK_CONTROL) held, as a
// user's click arrives: button down and up posted to the list. Answers false when the
// row has no place in the list.
bool ClickListViewRow(HWND list, int row, WPARAM keys = 0);
