// Glue: the window's status line kept by the install settings' hand-over
// (StatusLine), which the install thread writes through SetStatusText.
#pragma once

#include <string>

#include "controls/StatusLine.h"
#include "engine/InstallSettings.h"

namespace qrn {

class SettingsStatusLine final : public CStatusLine {
 public:
  explicit SettingsStatusLine(InstallSettings& settings) : settings_(settings) {}
  void Store(const std::wstring& text) override { settings_.SetStatusText(text); }
  std::wstring Latest() const override { return settings_.statusLine.Get(); }

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
