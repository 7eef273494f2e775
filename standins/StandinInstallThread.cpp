#include "standins/StandinInstallThread.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "engine/InstallSettings.h"

namespace qrn {
namespace {

const wchar_t kDefaultPlan[] =
    L"s正在卸载旧版本...;w300;p30;s正在解压文件：QRN.exe;w300;p50;s正在解压文件：说明.txt;w300;p80;"
    L"s正在安装驱动...;w200;s正在安装服务...;w200;s正在启动服务...;w200;s正在更新注册表...;w200;"
    L"s正在注册组件...;w200;s正在创建快捷方式...;w200;p100";

std::wstring Plan() {
  const DWORD size = ::GetEnvironmentVariableW(L"QRN_STANDIN_PLAN", nullptr, 0);
  if (size == 0) return kDefaultPlan;
  std::wstring plan(size, L'\0');
  const DWORD copied = ::GetEnvironmentVariableW(L"QRN_STANDIN_PLAN", plan.data(), size);
  plan.resize(copied < size ? copied : 0);
  return plan;
}

}  // namespace

unsigned __stdcall StandinInstallThread(void* argument) {
  InstallSettings& settings = *static_cast<InstallSettings*>(argument);
  const std::wstring plan = Plan();
  size_t start = 0;
  while (start <= plan.size()) {
    size_t end = plan.find(L';', start);
    if (end == std::wstring::npos) end = plan.size();
    const std::wstring step = plan.substr(start, end - start);
    start = end + 1;
    if (step.empty()) continue;
    const std::wstring value = step.substr(1);
    switch (step[0]) {
      case L'p':
        settings.progressTarget = static_cast<int32_t>(std::wcstol(value.c_str(), nullptr, 10));
        break;
      case L's':
        settings.SetStatusText(value);
        break;
      case L'w':
        ::Sleep(static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10)));
        break;
      case L'f':
        settings.installFailed = TRUE;
        return 1;
      case L'h':
        for (;;) ::Sleep(INFINITE);
      default:
        break;
    }
  }
  return 0;
}

}  // namespace qrn
