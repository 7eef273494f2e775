// The hand-over between the install thread and the window: the status line
// always shows the latest text, its setter never waits for the painter, and
// the listener runs outside the lock (it may read the text back).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/InstallSettings.h"

namespace qrn {
namespace {

// Runs `work` on its own thread; false when it has not finished in time (a
// deadlock shows as a failure instead of a hung suite).
template <typename Work>
bool FinishesOnItsOwn(Work work, DWORD milliseconds = 20000) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread thread([&] {
    work();
    SetEvent(done);
  });
  const bool finished = WaitForSingleObject(done, milliseconds) == WAIT_OBJECT_0;
  if (finished) {
    thread.join();
  } else {
    thread.detach();  // stuck for good; the failure is reported, the process ends
  }
  CloseHandle(done);
  return finished;
}

TEST(StatusLineTest, WindowSeesTheLatestTextAndIsToldOfEachChange) {
  InstallSettings settings;
  EXPECT_EQ(settings.statusLine.Get(), L"");
  struct Window {
    InstallSettings* settings;
    std::vector<std::wstring> seen;  // what the strip would paint after each notice
  } window{&settings, {}};
  // The listener reads the text back, as a window that paints at once would:
  // called under the setter's lock this would deadlock.
  settings.statusLine.SetListener(
      [](void* context) {
        auto* w = static_cast<Window*>(context);
        w->seen.push_back(w->settings->statusLine.Get());
      },
      &window);
  ASSERT_TRUE(FinishesOnItsOwn([&] {
    settings.SetStatusText(L"正在卸载旧版本...");
    settings.SetStatusText(L"正在解压文件：QRN.exe");
  }));
  EXPECT_EQ(window.seen, (std::vector<std::wstring>{L"正在卸载旧版本...", L"正在解压文件：QRN.exe"}));
  EXPECT_EQ(settings.statusLine.Get(), L"正在解压文件：QRN.exe");
}

TEST(StatusLineTest, SetterDoesNotWaitForAPainterThatIsStillPainting) {
  InstallSettings settings;
  settings.SetStatusText(L"first");
  HANDLE painting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE paintMayEnd = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::wstring painted;
  // The window's thread takes the text and then paints for as long as it
  // likes.
  std::thread window([&] {
    painted = settings.statusLine.Get();
    SetEvent(painting);
    WaitForSingleObject(paintMayEnd, INFINITE);
  });
  WaitForSingleObject(painting, INFINITE);
  EXPECT_TRUE(FinishesOnItsOwn([&] {
    for (int i = 0; i < 1000; ++i) settings.SetStatusText(L"file " + std::to_wstring(i));
    settings.SetStatusText(L"last");
  }));
  SetEvent(paintMayEnd);
  window.join();
  CloseHandle(painting);
  CloseHandle(paintMayEnd);
  EXPECT_EQ(painted, L"first");
  EXPECT_EQ(settings.statusLine.Get(), L"last");
}

TEST(StatusLineTest, ConcurrentReaderOnlyEverSeesWholeTexts) {
  InstallSettings settings;
  const std::wstring a(300, L'a'), b(5, L'b');
  settings.SetStatusText(a);
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread window([&] {
    while (!stop) {
      const std::wstring text = settings.statusLine.Get();
      if (text != a && text != b) ++torn;
    }
  });
  for (int i = 0; i < 20000; ++i) settings.SetStatusText(i % 2 ? a : b);
  stop = true;
  window.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace qrn
