// Stand-in for the product's self-registering shell-extension libraries. It
// does nothing in the shell; DllRegisterServer writes the registration a real
// in-process server writes, and DllUnregisterServer removes it:
//   HKCR\CLSID\{QRN_STANDIN_CLSID}              (default) = QRN_STANDIN_NAME
//   HKCR\CLSID\{QRN_STANDIN_CLSID}\InprocServer32 (default) = this DLL's path,
//                                                 ThreadingModel = "Apartment"
// so a test can see which file regsvr32 loaded. The CLSID and name are given
// per library at build time (CMakeLists.txt).
#include <windows.h>

#include <string>

#ifndef QRN_STANDIN_CLSID
#error "QRN_STANDIN_CLSID must name the library's class id"
#endif

namespace {

HMODULE g_module = nullptr;

std::wstring ClassKey() { return std::wstring(L"CLSID\\{") + QRN_STANDIN_CLSID + L"}"; }

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG CreateKey(const std::wstring& path, HKEY* key) {
  return RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key, nullptr);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

  HKEY classKey = nullptr;
  LONG result = CreateKey(ClassKey(), &classKey);
  if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
  result = SetString(classKey, nullptr, QRN_STANDIN_NAME);
  RegCloseKey(classKey);
  if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);

  HKEY serverKey = nullptr;
  result = CreateKey(ClassKey() + L"\\InprocServer32", &serverKey);
  if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
  result = SetString(serverKey, nullptr, path);
  if (result == ERROR_SUCCESS) result = SetString(serverKey, L"ThreadingModel", L"Apartment");
  RegCloseKey(serverKey);
  return HRESULT_FROM_WIN32(result);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
  return result == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(result);
}
