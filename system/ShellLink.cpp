#include "system/ShellLink.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <windows.h>

#include "base/Owners.h"
#include "log/Log.h"

namespace qrn {
namespace {

int LastError() { return static_cast<int>(GetLastError()); }

}  // namespace

std::wstring TargetFolder(const std::wstring& targetPath) {
  const size_t slash = targetPath.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : targetPath.substr(0, slash);
}

bool CreateShellLink(const std::wstring& targetPath, const std::wstring& linkPath, const std::wstring& iconPath) {
  // Whatever CoInitialize answers, the link object can still be asked for:
  // on a thread already in another apartment it works there. The scope pairs
  // only a successful initialisation with CoUninitialize.
  ComInitScope com;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
    LOG_ERROR("CoCreateInstance failed, error code:%d", LastError());
    return false;
  }
  // A failing property does not stop the others or the save.
  if (FAILED(link->SetPath(targetPath.c_str()))) LOG_ERROR("SetPath failed, error code:%d", LastError());
  if (!iconPath.empty() && FAILED(link->SetIconLocation(iconPath.c_str(), 0))) {
    LOG_ERROR("SetIconLocation failed, error code:%d", LastError());
  }
  if (FAILED(link->SetWorkingDirectory(TargetFolder(targetPath).c_str()))) {
    LOG_ERROR("SetWorkingDirectory failed, error code:%d", LastError());
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) {
    LOG_ERROR("QueryInterface failed, error code:%d", LastError());
    return false;
  }
  if (FAILED(file->Save(linkPath.c_str(), TRUE))) LOG_ERROR("Save failed, error code:%d", LastError());
  return true;
}

}  // namespace qrn
