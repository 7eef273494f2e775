#include "tests/support/StandIns.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace qrn::test {
namespace fs = std::filesystem;

fs::path StandIn(const std::wstring& file) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  // build/<arch>/tests/<room>/<test>.exe -> build/<arch>/standins-bin/<file>
  return fs::path(self).parent_path().parent_path().parent_path() / L"standins-bin" / file;
}

void PlaceStandIn(const std::wstring& file, const fs::path& destination) {
  std::error_code ec;
  fs::create_directories(destination.parent_path(), ec);
  fs::copy_file(StandIn(file), destination, fs::copy_options::overwrite_existing, ec);
  ASSERT_FALSE(ec) << "cannot place " << destination.string() << ": " << ec.message();
}

void Launch(const fs::path& program, const std::wstring& arguments, UniqueProcessInformation* process) {
  std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                 process->put());
}

std::wstring RecordedCommandLines(const fs::path& recorder) {
  std::ifstream in(fs::path(recorder).concat(L".log"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

}  // namespace qrn::test
