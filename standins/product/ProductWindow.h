// A plain window for the stand-in product programs: the product icon, a
// title, and a few lines of text. Closing it ends the program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qrn::product {

// Resource id of the product icon in every stand-in product program.
inline constexpr int kProductIconId = 1;

// Shows the window and runs its message loop; returns the exit code.
// TEST HOOK: when the environment variable QRN_PRODUCT_CLOSE_AFTER holds a
// number of milliseconds, the window closes itself after that time, so that
// a test or the demo does not leave product windows behind.
int RunProductWindow(HINSTANCE instance, const std::wstring& title, const std::vector<std::wstring>& lines);

}  // namespace qrn::product
