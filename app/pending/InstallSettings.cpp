#include "app/pending/InstallSettings.h"

namespace qrn {

void InstallSettings::SetStatusText(const std::wstring& text) {
  std::lock_guard<std::mutex> hold(statusLock_);
  status_ = text;
  if (notify_ != nullptr) notify_(notifyContext_);
}

std::wstring InstallSettings::StatusText() const {
  std::lock_guard<std::mutex> hold(statusLock_);
  return status_;
}

void InstallSettings::SetStatusNotify(StatusNotify notify, void* context) {
  std::lock_guard<std::mutex> hold(statusLock_);
  notify_ = notify;
  notifyContext_ = context;
}

}  // namespace qrn
