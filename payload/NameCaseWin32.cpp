#include <windows.h>

#include "payload/NameCase.h"
#include "system/NewerKernel32.h"

namespace qrn {

bool EqualNameIgnoreCase(const std::wstring& text, const wchar_t* name) {
  return EqualOrdinalIgnoreCase(text.c_str(), static_cast<int>(text.size()), name);
}

}  // namespace qrn
