// Entry names: the file system's UTF-8 (wide on Windows) to the archive's
// code page 936 and back, for the packer's own use.
#pragma once

#include <string>

namespace qrn::pack {

// False when some character has no code page 936 form.
bool Utf8ToCp936(const std::string& utf8, std::string* cp936);
// For printing; characters that do not convert are shown as '?'.
std::string Cp936ToUtf8(const std::string& cp936);

}  // namespace qrn::pack
