// Every install folder ends in "Quorrin": the rule the folder picker and the
// start apply, and its refusal of a path that would not fit its buffer.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "app/ProductFolder.h"

namespace qrn {
namespace {

const wchar_t kName[] = L"Quorrin";

struct Case {
  const char* name;
  std::wstring path;
  std::wstring expected;
};

TEST(ProductFolderTest, AppendsTheProductFolderUnlessItIsTheLastComponent) {
  const Case cases[] = {
      {"no backslash gets one", L"abc", L"abc\\Quorrin"},
      {"drive root from the picker", L"D:\\", L"D:\\Quorrin"},
      {"already the product folder", L"D:\\Quorrin", L"D:\\Quorrin"},
      {"another folder", L"D:\\Programs", L"D:\\Programs\\Quorrin"},
      {"comparison is case-sensitive", L"D:\\quorrin", L"D:\\quorrin\\Quorrin"},
      {"trailing backslash: empty last component", L"D:\\Programs\\Quorrin\\", L"D:\\Programs\\Quorrin\\Quorrin"},
      {"name containing the product name", L"D:\\MyQuorrin", L"D:\\MyQuorrin\\Quorrin"},
      {"empty text", L"", L"\\Quorrin"},
  };
  for (const Case& c : cases) {
    wchar_t buffer[260] = {};
    std::wcsncpy(buffer, c.path.c_str(), 259);
    EXPECT_TRUE(AppendProductFolder(buffer, 260, kName)) << c.name;
    EXPECT_EQ(std::wstring(buffer), c.expected) << c.name;
  }
}

// A path that "\Quorrin" would push past the buffer must be refused whole,
// never cut: a cut path names another folder, which the installer would create.
TEST(ProductFolderTest, RefusesWhatWouldNotFitAndLeavesTheBufferAlone) {
  struct Fit {
    const char* name;
    size_t length;  // of the path, all 'a' after "C:\"
    bool fits;
  };
  // 260-character buffer: at most 259 characters of text after appending 8.
  const Fit cases[] = {
      {"251 + 8 = 259 fits", 251, true},
      {"252 + 8 = 260 does not", 252, false},
      {"259 does not", 259, false},
  };
  for (const Fit& c : cases) {
    std::wstring path = L"C:\\" + std::wstring(c.length - 3, L'a');
    wchar_t buffer[260] = {};
    std::wcsncpy(buffer, path.c_str(), 259);
    const bool result = AppendProductFolder(buffer, 260, kName);
    EXPECT_EQ(result, c.fits) << c.name;
    if (c.fits) {
      EXPECT_EQ(std::wstring(buffer), path + L"\\Quorrin") << c.name;
      EXPECT_EQ(std::wcslen(buffer), 259u) << c.name;
    } else {
      EXPECT_EQ(std::wstring(buffer), path) << c.name << ": the buffer must be left as it was";
    }
  }
  // A path already ending in the product folder needs no room.
  std::wstring full = L"C:\\" + std::wstring(248, L'b') + L"\\Quorrin";
  ASSERT_EQ(full.size(), 259u);
  wchar_t buffer[260] = {};
  std::wcsncpy(buffer, full.c_str(), 259);
  EXPECT_TRUE(AppendProductFolder(buffer, 260, kName));
  EXPECT_EQ(std::wstring(buffer), full);
}

TEST(ProductFolderTest, TinyBuffersAreRefusedNotOverrun) {
  wchar_t guard[16];
  std::wmemset(guard, L'#', 16);
  wchar_t* buffer = guard + 2;
  buffer[0] = L'a';
  buffer[1] = L'\0';
  // "a\Quorrin" needs 10 characters with its terminator.
  EXPECT_FALSE(AppendProductFolder(buffer, 9, kName));
  EXPECT_EQ(std::wstring(buffer), L"a");
  EXPECT_TRUE(AppendProductFolder(buffer, 10, kName));
  EXPECT_EQ(std::wstring(buffer), L"a\\Quorrin");
  EXPECT_EQ(guard[12], L'#');
  EXPECT_FALSE(AppendProductFolder(nullptr, 10, kName));
}

}  // namespace
}  // namespace qrn
