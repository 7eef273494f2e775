// Stand-in for the product's main program, QRN.exe: a window that says it is
// Quorrin, its version, and the file it was opened with (a .safe file when
// started through the file type; none when started from a shortcut or by the
// installer's finish button).
#include <windows.h>

#include "base/Product.h"
#include "standins/product/ProductStart.h"
#include "standins/product/ProductWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  qrn::product::RecordStart();
  const std::wstring file = qrn::product::FirstArgument();
  const std::wstring title = std::wstring(L"Quorrin ") + qrn::kProductVersionW;
  return qrn::product::RunProductWindow(instance, title,
                                        {L"Quorrin \u6587\u4ef6\u4fdd\u62a4 (stand-in product program QRN.exe)",
                                         std::wstring(L"Version ") + qrn::kProductVersionW,
                                         L"Opened with: " + (file.empty() ? std::wstring(L"(no file)") : file)});
}
