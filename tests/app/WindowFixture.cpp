#include "tests/app/WindowFixture.h"

#include <shlobj.h>

#include <cstdio>
#include <set>

#include "base/Owners.h"

namespace qrn::test {
namespace {

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (search) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
      }
    } while (::FindNextFileW(search.get(), &found));
  }
  search.reset();
  ::RemoveDirectoryW(folder.c_str());
}

std::string Encode936(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring HostPath(const char* path) {
  // The build tree is a Linux path; Wine shows the Linux root as drive Z.
  std::wstring wide = ui::Widen(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return L"Z:" + wide;
}

std::wstring StandinPath(const std::wstring& name) { return HostPath(QRN_STANDINS_DIR) + L"\\" + name; }

ScratchDir::ScratchDir() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  static unsigned counter = 0;
  path_ = std::wstring(temp) + L"qrn-window-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter);
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

bool CopyInto(const std::wstring& from, const std::wstring& to) { return ::CopyFileW(from.c_str(), to.c_str(), FALSE); }

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFileBytes(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr));
  if (!file) return std::string();
  LARGE_INTEGER size{};
  ::GetFileSizeEx(file.get(), &size);
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!bytes.empty()) ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  bytes.resize(got);
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(search.get(), &found));
  return names;
}

ScopedEnv::ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
  wchar_t old[4096] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, old, 4096);
  had_ = n > 0 && n < 4096;
  if (had_) old_ = old;
  ::SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnv::~ScopedEnv() { ::SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

ScopedKey::ScopedKey(HKEY root, const std::wstring& path, REGSAM view) : root_(root), path_(path), view_(view) {
  UniqueHKey key;
  DWORD disposition = 0;
  if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), &disposition) !=
      ERROR_SUCCESS) {
    return;
  }
  created_ = disposition == REG_CREATED_NEW_KEY;
}

ScopedKey::~ScopedKey() {
  if (!created_) return;
  UniqueHKey key;
  if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_ALL_ACCESS | view_, key.put()) == ERROR_SUCCESS) {
    ::RegDeleteTreeW(key.get(), nullptr);
  }
  key.reset();
  ::RegDeleteKeyExW(root_, path_.c_str(), view_, 0);
}

bool ScopedKey::SetString(const std::wstring& subkey, const std::wstring& name, const std::wstring& value) {
  const std::wstring full = subkey.empty() ? path_ : path_ + L"\\" + subkey;
  UniqueHKey key;
  if (::RegCreateKeyExW(root_, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  return ::RegSetValueExW(key.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

ScopedDword::ScopedDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value)
    : root_(root), path_(path), name_(name) {
  UniqueHKey key;
  DWORD disposition = 0;
  if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), &disposition) !=
      ERROR_SUCCESS) {
    return;
  }
  createdKey_ = disposition == REG_CREATED_NEW_KEY;
  DWORD size = sizeof old_;
  DWORD type = 0;
  hadValue_ = ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&old_), &size) ==
                  ERROR_SUCCESS &&
              type == REG_DWORD;
  ok_ = ::RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
        ERROR_SUCCESS;
}

ScopedDword::~ScopedDword() {
  if (createdKey_) {
    ::RegDeleteTreeW(root_, path_.c_str());
    return;
  }
  UniqueHKey key;
  if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
  if (hadValue_) {
    ::RegSetValueExW(key.get(), name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
  } else {
    ::RegDeleteValueW(key.get(), name_.c_str());
  }
}

LogWatch::LogWatch() {
  wchar_t data[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data);
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  wchar_t name[32];
  std::swprintf(name, 32, L"Install%04u%02u%02u.log", now.wYear, now.wMonth, now.wDay);
  path_ = std::wstring(data) + L"\\Quorrin\\log\\" + name;
  start_ = ReadFileBytes(path_).size();
}

std::string LogWatch::Appended() const {
  const std::string all = ReadFileBytes(path_);
  return all.size() > start_ ? all.substr(start_) : std::string();
}

bool LogWatch::Contains(const std::wstring& text) const {
  return Appended().find(Encode936(text)) != std::string::npos;
}

COLORREF SkinPixel(const std::wstring& module, UINT bitmapId, int x, int y) {
  HMODULE image = ::LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (image == nullptr) return CLR_INVALID;
  UniqueHBitmap bitmap(
      static_cast<HBITMAP>(::LoadImageW(image, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  COLORREF colour = CLR_INVALID;
  if (bitmap) {
    UniqueHdc dc(::CreateCompatibleDC(nullptr));
    SelectObjectScope select(dc.get(), bitmap.get());
    colour = ::GetPixel(dc.get(), x, y);
  }
  ::FreeLibrary(image);
  return colour;
}

SetupRun::SetupRun(const std::wstring& exe) {
  program_ = ui::Program::Start(exe, L"", &error_);
  if (!program_) return;
  const ULONGLONG end = ::GetTickCount64() + 60000;
  while (window_ == nullptr && ::GetTickCount64() < end) {
    window_ = ui::WaitForWindow(program_.pid(), L"Quorrin软件版", 500);
    DWORD code = 0;
    if (window_ == nullptr && program_.WaitForExit(0, &code)) {
      error_ = "the installer ended without a window, exit code " + std::to_string(code);
      return;
    }
  }
  if (window_ == nullptr) {
    error_ = "the installer window did not come";
    return;
  }
  ui::Sync(window_);
}

SetupRun::~SetupRun() { program_.Kill(); }

bool SetupRun::WaitForHeight(int height, DWORD timeoutMs) const {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (Size().cy == height) return true;
    if (::GetTickCount64() >= end) return false;
    ::Sleep(20);
  }
}

void SetupRun::SetPath(const std::wstring& path) {
  ui::SetText(Control(kEditPath), path);
  ui::Sync(window_);
}

std::wstring SetupRun::WaitForBox(HWND* box, DWORD timeoutMs) const {
  *box = ui::WaitForMessageBox(program_.pid(), timeoutMs, window_);
  return *box == nullptr ? std::wstring() : ui::MessageBoxText(*box);
}

::testing::AssertionResult SetupRun::Answer(const std::wstring& text, int id, DWORD timeoutMs) {
  HWND box = nullptr;
  const std::wstring shown = WaitForBox(&box, timeoutMs);
  if (box == nullptr) return ::testing::AssertionFailure() << "no message box (wanted \"" << ui::Narrow(text) << "\")";
  if (ui::Text(box) != L"Quorrin") {
    return ::testing::AssertionFailure() << "box caption \"" << ui::Narrow(ui::Text(box)) << "\"";
  }
  if (shown != text) return ::testing::AssertionFailure() << "the box says \"" << ui::Narrow(shown) << "\"";
  if (!ui::PressButton(box, id)) return ::testing::AssertionFailure() << "the box has no button " << id;
  if (!ui::WaitForWindowGone(box, 10000)) return ::testing::AssertionFailure() << "the box stays";
  if (::IsWindow(window_)) ui::Sync(window_);
  return ::testing::AssertionSuccess();
}

namespace {

struct Expectation {
  int id;
  const char* name;
  bool inView;
};

::testing::AssertionResult CheckStateOnce(const SetupRun& run, int height, const std::vector<Expectation>& controls) {
  if (run.Size().cy != height || run.Size().cx != 550) {
    return ::testing::AssertionFailure() << "window is " << run.Size().cx << "x" << run.Size().cy << ", not 550x"
                                         << height;
  }
  for (const Expectation& e : controls) {
    if (ui::IsInView(run.Control(e.id)) != e.inView) {
      return ::testing::AssertionFailure() << e.name << (e.inView ? " is not in view" : " is in view");
    }
  }
  return ::testing::AssertionSuccess();
}

// A state change is several window operations (resize, show, hide): the
// check waits a little for all of them to be done.
::testing::AssertionResult CheckState(const SetupRun& run, int height, const std::vector<Expectation>& controls) {
  const ULONGLONG end = ::GetTickCount64() + 5000;
  for (;;) {
    auto result = CheckStateOnce(run, height, controls);
    if (result || ::GetTickCount64() >= end) return result;
    ::Sleep(20);
  }
}

}  // namespace

::testing::AssertionResult InWelcomeState(const SetupRun& run, bool expanded) {
  auto result = CheckState(run, expanded ? 410 : 320,
                           {{kStart, "start", true},
                            {kCheckAgree, "agree", true},
                            {kLicense, "licence link", true},
                            {kCheckCustom, "custom toggle", true},
                            {kMinimize, "minimise", true},
                            {kClose, "close", true},
                            {kEditPath, "path box", expanded},
                            {kChangeDir, "change folder", expanded},
                            {kFinish, "finish", false},
                            {kCheckHelp, "help box", false}});
  if (!result) return result;
  if (!ui::IsEnabled(run.Control(kClose))) return ::testing::AssertionFailure() << "close is disabled";
  if (ui::CheckState(run.Control(kCheckCustom)) != (expanded ? BST_CHECKED : BST_UNCHECKED)) {
    return ::testing::AssertionFailure() << "the custom toggle does not match the height";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult InInstallingState(const SetupRun& run) {
  auto result = CheckState(run, 275,
                           {{kStart, "start", false},
                            {kCheckAgree, "agree", false},
                            {kLicense, "licence link", false},
                            {kCheckCustom, "custom toggle", false},
                            {kMinimize, "minimise", true},
                            {kClose, "close", true},
                            {kEditPath, "path box", false},
                            {kChangeDir, "change folder", false},
                            {kFinish, "finish", false},
                            {kCheckHelp, "help box", false}});
  if (!result) return result;
  if (ui::IsEnabled(run.Control(kClose))) return ::testing::AssertionFailure() << "close is enabled";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult InFinishedState(const SetupRun& run) {
  auto result = CheckState(run, 320,
                           {{kStart, "start", false},
                            {kCheckAgree, "agree", false},
                            {kLicense, "licence link", false},
                            {kCheckCustom, "custom toggle", false},
                            {kMinimize, "minimise", true},
                            {kClose, "close", true},
                            {kEditPath, "path box", false},
                            {kChangeDir, "change folder", false},
                            {kFinish, "finish", true},
                            {kCheckHelp, "help box", false}});
  if (!result) return result;
  if (!ui::IsEnabled(run.Control(kClose))) return ::testing::AssertionFailure() << "close is disabled";
  if (ui::CheckState(run.Control(kCheckHelp)) != BST_UNCHECKED) {
    return ::testing::AssertionFailure() << "the help box is still checked";
  }
  return ::testing::AssertionSuccess();
}

int ProgressBarRight(const ui::Image& image) {
  constexpr int kBanner = 195;
  int right = 20;
  for (int x = 20; x < 530; ++x) {
    if (image.At(x, kBanner + 49) == RGB(0, 160, 233)) right = x + 1;
  }
  return right;
}

uint64_t StatusStripPrint(const ui::Image& image) {
  constexpr int kBanner = 195;
  uint64_t hash = 1469598103934665603ull;
  for (int y = kBanner + 20; y < kBanner + 40; ++y) {
    for (int x = 20; x < 450; ++x) hash = (hash ^ image.At(x, y)) * 1099511628211ull;
  }
  return hash;
}

InstallingPictures WatchInstalling(const SetupRun& run, DWORD timeoutMs) {
  constexpr int kInstallingHeight = 275;
  InstallingPictures seen;
  std::set<uint64_t> statusPictures;
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (run.Size().cy == kInstallingHeight && run.Running() && ::GetTickCount64() < end) {
    ui::Image image;
    if (!ui::Capture(run.window(), &image) || image.height != kInstallingHeight) continue;
    if (run.Size().cy != kInstallingHeight) break;
    const int right = ProgressBarRight(image);
    if (right < seen.lastRight) ++seen.fallsOfTheBar;
    seen.lastRight = right;
    ++seen.pictures;
    statusPictures.insert(StatusStripPrint(image));
  }
  seen.statusPictures = statusPictures.size();
  return seen;
}

}  // namespace qrn::test
