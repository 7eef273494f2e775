// Stand-in for the product's small tools: the handlers of the ".qrn" and
// ".iqrn" file types (QRNLocalEncrypt.exe, QRNIndependentEncrypt.exe) and the
// secure-delete tool (SecureDel.exe). One source; the build names each
// program through QRN_TOOL_NAME. Each shows a window naming itself and the
// file it was given.
#include <windows.h>

#include "standins/product/ProductStart.h"
#include "standins/product/ProductWindow.h"

#ifndef QRN_TOOL_NAME
#error QRN_TOOL_NAME names the program
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  qrn::product::RecordStart();
  const std::wstring file = qrn::product::FirstArgument();
  return qrn::product::RunProductWindow(instance, std::wstring(QRN_TOOL_NAME) + L" - Quorrin",
                                        {std::wstring(L"Quorrin ") + QRN_TOOL_NAME + L" (stand-in product program)",
                                         L"File: " + (file.empty() ? std::wstring(L"(no file)") : file)});
}
