// The Windows side of the codec's text seam, in the test prefix's ANSI code
// page 936: conversions, and a whole request and answer whose text is not
// ASCII (expected values from an independent encoder).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "report/AnsiUtf8.h"
#include "report/RequestCodec.h"

namespace qrn {
namespace {

const char kSecret[] = "5c0e7a21b9d84f36a1e3c7092b6d4f58";
// "安装" and "安装成功" in code page 936 and in UTF-8.
const char kAnsiInstall[] = "\xb0\xb2\xd7\xb0";
const char kUtf8Install[] = "\xe5\xae\x89\xe8\xa3\x85";
const char kAnsiInstalled[] = "\xb0\xb2\xd7\xb0\xb3\xc9\xb9\xa6";

TEST(AnsiUtf8Test, ConvertsThroughUtf16UpToTheFirstNul) {
  ASSERT_EQ(GetACP(), 936u) << "the tests run with LANG=zh_CN.UTF-8";
  EXPECT_EQ(AnsiToUtf8(kAnsiInstall), kUtf8Install);
  EXPECT_EQ(Utf8ToAnsi(kUtf8Install), kAnsiInstall);
  EXPECT_EQ(AnsiToUtf8("plain ASCII\x01\x10"), "plain ASCII\x01\x10") << "pad bytes pass unchanged";
  EXPECT_EQ(AnsiToUtf8(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(Utf8ToAnsi(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(Utf8ToAnsi("\xec\x95\x88"), "?") << "a Hangul syllable has no form in code page 936";
  EXPECT_EQ(AnsiToUtf8(""), "");
}

// The value is signed and padded as UTF-8 (6 bytes), not as the 4 ANSI bytes.
TEST(AnsiUtf8Test, RequestOfAnsiTextIsSignedAndEncipheredAsUtf8) {
  const ReportParams params{{"description", ""},
                            {"deviceID", "{9A1B2C3D-4E5F-6a7b-8C9D-0E1F2A3B4C5D}"},
                            {"download_pos", "1"},
                            {"local_time", "1582161234"},
                            {"platform", "windows"},
                            {"uid", kAnsiInstall},
                            {"uninstall_reason", ""},
                            {"use_module", "13"},
                            {"version", "6.1.0.3_20200220"}};
  std::string path;
  ASSERT_EQ(EncodeRequestPath("InstallInfo", params, kSecret, AnsiUtf8Conversions(), &path), RequestEncoding::kOk);
  EXPECT_EQ(
      path,
      "InstallInfo/"
      "u8yDILhIuxfv811uf96p7PqtitsBJ7Mv/RV92/WjUm+GmKS4H6s41Yb+QMy4AsNqtf3pFrOMM4QkUDHR9qpgTsmbvaeVZghCv2Hb0v1MkXGk"
      "HGDRvpvjMhYdwF3zuZLwInGHKQn1R2Cpo6zQrH8wX4ZFFPF3NlOIYDZEvWoL/3mhHPZCCmnKqs4r9hJ18bukPOlOnM/CQJuTCM0uy7qNOkSSK"
      "jjXnAyl7v3JDtr3H+ZJ1qk1CF3Sjv5JM9j3apHzOvrVJz2nI2Xq2fZKTqj7B5KYPHuyCsdH5618ibQZin5A9uMEWjcwMUxCP24COUANitL89O"
      "HTmr90m7xw66DRkGok1PVMqd+kFb0j8+LdNZMuhRx+0k8sopusVajtLwI3jS+BrJrgysTCMX24wAXnFMjHCRnLew/tk6hV2b7i7GKZmqNJMc6D"
      "FFQN7k53AFGU");
}

TEST(AnsiUtf8Test, AnswerComesBackInTheAnsiCodePage) {
  EXPECT_EQ(DecodeResponse("i+ndSJk8YW2czXpPXNMzzA==", kSecret, AnsiUtf8Conversions()), kAnsiInstalled);
}

}  // namespace
}  // namespace qrn
