#include "engine/InstallSettings.h"

namespace qrn {

void StatusLine::SetListener(Listener listener, void* context) {
  std::lock_guard<std::mutex> guard(lock_);
  listener_ = listener;
  context_ = context;
}

void StatusLine::Set(const std::wstring& text) {
  // Copied before the lock and swapped in under it: the lock is held for a
  // few pointer moves, and the old text is freed after it is released.
  std::wstring copy(text);
  Listener listener;
  void* context;
  {
    std::lock_guard<std::mutex> guard(lock_);
    text_.swap(copy);
    listener = listener_;
    context = context_;
  }
  if (listener != nullptr) listener(context);
}

std::wstring StatusLine::Get() const {
  std::lock_guard<std::mutex> guard(lock_);
  return text_;
}

}  // namespace qrn
