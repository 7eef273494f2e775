// What every stand-in product program does first: note how it was started
// (for tests) and find the file it was given.
#pragma once

#include <windows.h>

#include <string>

namespace qrn::product {

// The executable's file name without its folder, e.g. "QRN.exe".
std::wstring ExeBaseName();

// The program's first argument, or an empty string when it was given none.
std::wstring FirstArgument();

// TEST HOOK: when the environment variable QRN_PRODUCT_RECORD names a file,
// appends "<ExeBaseName> <full command line>\n" (UTF-8) to it, so that tests
// and the demo can see which product programs the installer started and how.
// The product's real programs have no such hook.
void RecordStart();

}  // namespace qrn::product
