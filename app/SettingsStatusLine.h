// Glue: the window's status line kept by the install settings' hand-over,
// which the install thread writes through SetStatusText.
#pragma once

#include <string>

#include "app/pending/InstallSettings.h"
#include "controls/StatusLine.h"

namespace qrn {

class SettingsStatusLine final : public CStatusLine {
 public:
  explicit SettingsStatusLine(InstallSettings& settings) : settings_(settings) {}
  void Store(const std::wstring& text) override { settings_.SetStatusText(text); }
  std::wstring Latest() const override { return settings_.StatusText(); }

 private:
  InstallSettings& settings_;
};

// The settings and their status line, built before the window base that
// keeps a reference to the status line.
struct InstallSettingsHolder {
  InstallSettings m_settings;
  SettingsStatusLine m_statusLine{m_settings};
};

}  // namespace qrn
