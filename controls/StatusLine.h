// The status line of the installing page. The install thread writes it
// while the window's thread paints, so it lives with the install settings,
// which hand it over safely; the window reads it through this interface.
#pragma once

#include <string>

namespace qrn {

class CStatusLine {
 public:
  virtual ~CStatusLine() = default;
  // Any thread; never waits for painting.
  virtual void Store(const std::wstring& text) = 0;
  // The latest text stored (empty before the first).
  virtual std::wstring Latest() const = 0;
};

}  // namespace qrn
