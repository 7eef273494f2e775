// Base64, the report cipher, and the whole request encoding and answer
// decoding. Expected request paths and answers come from an independent
// implementation (Python's hashlib and base64 with the test report server's
// AES), so a fault on either side shows as a mismatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/Aes.h"
#include "report/AesCipher.h"
#include "report/Base64.h"
#include "report/RequestCodec.h"
#include "tests/report/FixedParams.h"

namespace qrn {
namespace {

using test::FixedParams;

const std::string kSecret = "5c0e7a21b9d84f36a1e3c7092b6d4f58";

// Stand-ins for the ANSI code page: identity (ASCII), and Latin-1, where a
// byte of 0x80 or more becomes two UTF-8 bytes, so a codec that pads or signs
// the ANSI text instead of the UTF-8 text gives another path. Both stop at
// the first NUL, as the Windows conversions do.
std::string Identity(const std::string& text) { return std::string(text.c_str()); }

std::string Latin1ToUtf8(const std::string& text) {
  std::string out;
  for (const char* p = text.c_str(); *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Utf8ToLatin1(const std::string& text) {
  std::string out;
  for (const char* p = text.c_str(); *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && (static_cast<unsigned char>(p[1]) & 0xC0) == 0x80) {
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(p[1]) & 0x3F));
      ++p;
    } else {
      out += '?';
      while ((static_cast<unsigned char>(p[1]) & 0xC0) == 0x80) ++p;
    }
  }
  return out;
}

const TextConversions kAscii{Identity, Identity};
const TextConversions kLatin1{Latin1ToUtf8, Utf8ToLatin1};

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// ---------------------------------------------------------------- Base64

TEST(Base64Test, Rfc4648Vectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : cases) {
    const std::vector<uint8_t> bytes = Bytes(plain);
    EXPECT_EQ(Base64Encode(bytes.data(), bytes.size()), encoded) << '"' << plain << '"';
    EXPECT_EQ(Base64Decode(encoded), bytes) << encoded;
  }
  const uint8_t high[] = {0xFB, 0xFF, 0xBF};
  EXPECT_EQ(Base64Encode(high, 3), "+/+/");
  EXPECT_EQ(Base64Decode("+/+/"), std::vector<uint8_t>(high, high + 3));
}

TEST(Base64Test, DecodingStopsAtTheFirstNonAlphabetCharacter) {
  struct Case {
    const char* name;
    std::string text;
    std::string bytes;
  };
  const Case cases[] = {
      {"CR LF ends the text", "Zm9vYmFy\r\nZm9v", "foobar"},
      {"'=' ends it even mid-text", "Zm8=Zm9v", "fo"},
      {"a space", "Zm9v YmFy", "foo"},
      {"a dash (URL alphabet)", "Zm9v-_", "foo"},
      {"NUL", std::string("Zm9v\0Zm9v", 9), "foo"},
      {"two characters give one byte", "Zm", "f"},
      {"three give two", "Zm9", "fo"},
      {"one leftover gives none", "Zm9vY", "foo"},
      {"nothing decodable", "<html>", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Base64Decode(c.text), Bytes(c.bytes)) << c.name;
}

TEST(Base64Test, AlphabetIsLettersDigitsPlusAndSlash) {
  int count = 0;
  for (int c = 0; c < 256; ++c) count += IsBase64Char(static_cast<char>(c)) ? 1 : 0;
  EXPECT_EQ(count, 64);
  for (char c : std::string("azAZ09+/")) EXPECT_TRUE(IsBase64Char(c)) << c;
  for (char c : std::string("=-_ .\r\n\x80\xff")) EXPECT_FALSE(IsBase64Char(c)) << static_cast<int>(c);
}

// ---------------------------------------------------------------- CAesCipher

// The marker block: the data blocks decipher to the data plus zero fill,
// the block after them to (fill + 16) as a little-endian word and zeros.
TEST(AesCipherTest, EncryptWritesZeroFilledBlocksAndTheMarker) {
  CAesCipher cipher;
  ASSERT_TRUE(cipher.SetKey(32, reinterpret_cast<const uint8_t*>(kSecret.data())));
  Aes reference;
  ASSERT_TRUE(reference.SetKey(reinterpret_cast<const uint8_t*>(kSecret.data()), 32));
  for (size_t length : {0u, 1u, 15u, 16u, 17u, 100u}) {
    std::vector<uint8_t> in(length);
    for (size_t i = 0; i < length; ++i) in[i] = static_cast<uint8_t>(i + 1);
    std::vector<uint8_t> out(CAesCipher::EncryptedSize(length) + 8, 0xEE);
    const size_t written = cipher.EncryptBlocks(in.data(), length, out.data(), out.size());
    const size_t dataBytes = (length + 15) / 16 * 16;
    ASSERT_EQ(written, dataBytes + 16) << length;
    EXPECT_EQ(out[written], 0xEE) << length << ": wrote past its blocks";
    reference.DecryptBlocks(out.data(), written / 16);
    std::vector<uint8_t> expected = in;
    expected.resize(dataBytes, 0);
    const uint32_t marker = static_cast<uint32_t>(dataBytes - length + 16);
    for (int i = 0; i < 16; ++i) expected.push_back(i < 4 ? static_cast<uint8_t>(marker >> (8 * i)) : 0);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + written), expected) << length;

    // And back: DecryptBlocks gives the data length the marker records.
    std::vector<uint8_t> cipherText(written);
    ASSERT_EQ(cipher.EncryptBlocks(in.data(), length, cipherText.data(), cipherText.size()), written);
    std::vector<uint8_t> plain(written);
    EXPECT_EQ(cipher.DecryptBlocks(cipherText.data(), written, plain.data(), plain.size()), length);
    EXPECT_EQ(std::vector<uint8_t>(plain.begin(), plain.begin() + length), in) << length;
  }
}

TEST(AesCipherTest, KeyLengthsAndRefusals) {
  const std::vector<uint8_t> key(32, 7);
  CAesCipher cipher;
  EXPECT_TRUE(cipher.HasKey()) << "starts with its built-in key";
  for (size_t length : {16u, 24u, 32u}) {
    EXPECT_TRUE(cipher.SetKey(length, key.data())) << length;
    EXPECT_TRUE(cipher.HasKey()) << length;
  }
  EXPECT_FALSE(cipher.SetKey(20, key.data()));
  EXPECT_FALSE(cipher.HasKey());
  EXPECT_TRUE(cipher.SetKey(0, nullptr));
  EXPECT_FALSE(cipher.HasKey());

  uint8_t block[64] = {1, 2, 3};
  uint8_t out[64] = {};
  EXPECT_EQ(cipher.EncryptBlocks(block, 16, out, sizeof out), 0u) << "no key";
  EXPECT_EQ(out[0], 0);
  ASSERT_TRUE(cipher.SetKey(32, key.data()));
  EXPECT_EQ(cipher.EncryptBlocks(block, 16, nullptr, 0), 0u) << "no output";
  EXPECT_EQ(cipher.EncryptBlocks(block, 17, out, 47), 0u) << "needs 48 bytes";
  EXPECT_EQ(out[0], 0) << "a refused call writes nothing";
  EXPECT_EQ(cipher.DecryptBlocks(block, 17, out, sizeof out), 0u) << "no multiple of 16";
  EXPECT_EQ(cipher.DecryptBlocks(block, 64, out, 48), 0u) << "output too small";
  EXPECT_EQ(out[0], 0);
}

// ---------------------------------------------------------------- requests

struct RequestCase {
  const char* name;
  std::string uid;
  const TextConversions* text;
  const char* signature;
  const char* path;
};

// The signed query of "base" is 321 bytes (pad 15); "block aligned" is 320
// bytes and so gets a whole block of sixteen 16s; "Latin-1" is 319 ANSI
// bytes but 320 in UTF-8, so it is aligned only when padded after conversion.
const RequestCase kRequests[] = {
    {"base", "u-1024", &kAscii,
     "2060840e7990843cf1af8221ba6514ff6a1241fd9237b70aa30f331b9a25294e612f89523777a17bb31f4c7f55c476d2921219b3f53b8ca16"
     "2701ad946863928",
     "InstallInfo/"
     "u8yDILhIuxfv811uf96p7PqtitsBJ7Mv/RV92/WjUm+GmKS4H6s41Yb+QMy4AsNqtf3pFrOMM4QkUDHR9qpgTsmbvaeVZghCv2Hb0v1MkXGkHGDR"
     "vpvjMhYdwF3zuZLwInGHKQn1R2Cpo6zQrH8wX6J61PUYitwwhSQt8PvGHM+hHPZCCmnKqs4r9hJ18bukPOlOnM/CQJuTCM0uy7qNOkSSKjjXnAyl"
     "7v3JDtr3H+ZJ1qk1CF3Sjv5JM9j3apHzjA9f7sQLU4+bVFWSYywNo8tgbPzn4fMf7jwGes8kvcu2evGZ8KPQ0E/pQKCbcZBde6qRwG5JaLNt04Zs"
     "QAbyvs0tRcal/KbAwkb7QaRpGMod1yNI+C9J9lTx73s7YhJHINU5w3WZJgIxrOGh6JwudoxOat7/Mun26//"
     "nzAaAVmMMiJ0rNZVJYeTz+WspnQVB"},
    {"block aligned", "uuuuu", &kAscii,
     "beb4e104a2971c51c9edbd34339d967adee311b718656fd891f526356c1a5d282b7ab8cab0daa2ad901e99f0d8caf4d93bd1efbb740158374"
     "b1a2841d131cc32",
     "InstallInfo/"
     "u8yDILhIuxfv811uf96p7PqtitsBJ7Mv/RV92/WjUm+GmKS4H6s41Yb+QMy4AsNqtf3pFrOMM4QkUDHR9qpgTsmbvaeVZghCv2Hb0v1MkXGkHGDR"
     "vpvjMhYdwF3zuZLwInGHKQn1R2Cpo6zQrH8wXwlHahH0m+sJnVYCLRIey30kM1V+S0ILna7Bi/YKjNIEPsf3YC93h+UmB/GchiKfovNsnJMPgJD4"
     "NtJSnqRxwfyq1BubrZ6HtN9rCKs1DUl+Zr4RIxfzBnqoGiKJ2qjDTwfTO6m6RQ1fd9w2QhYXej/zQgwqivzANwMdArSqCqSfdYW6mNL3TgVLkAo8"
     "XlUnUZzBzV9bCbPEkbj7sGG3C+DMz+twels4F/YsLfGsOBDRvDhF5V7OE0MuBnavUrS946BJF64+bb5EVDM4AssASvYRY6dtbVCtQ2v/"
     "YhsrYbOO"},
    {"Latin-1", "caf\xe9", &kLatin1,
     "2166a5adc4ca816ff5c5f88900af33dd20389d51f5b2dbdf4ef594d562952da6c408e1ef1d8c5a4bc9bb9f6a8a5abf291ce62ad12a7fd618c"
     "d6d633abfd4171d",
     "InstallInfo/"
     "u8yDILhIuxfv811uf96p7PqtitsBJ7Mv/RV92/WjUm+GmKS4H6s41Yb+QMy4AsNqtf3pFrOMM4QkUDHR9qpgTsmbvaeVZghCv2Hb0v1MkXGkHGDR"
     "vpvjMhYdwF3zuZLwInGHKQn1R2Cpo6zQrH8wX8S+EgBs1aTbayRr2IcLNG4kM1V+S0ILna7Bi/YKjNIEPsf3YC93h+UmB/GchiKfovNsnJMPgJD4"
     "NtJSnqRxwfyq1BubrZ6HtN9rCKs1DUl+RCM0tcSJ1xYg03YTkyVVUt8sFd5VvYwxQn+GNRchCMPt/wareMl2qhUi6DH1lS1IEGDVB9td2HdmyorqE"
     "1bgflKo6wcxyhCyJZh2AfSg8JHWhvrWVv0G/TZ7JkpW0FQmtAVeOhKnzckrNJQyOD/vZBkc/WdHOpoWnq1kSXmfg9ARY6dtbVCtQ2v/YhsrYbOO"},
};

TEST(RequestCodecTest, WholeRequestPathOfFixedParameters) {
  for (const RequestCase& c : kRequests) {
    const ReportParams params = FixedParams(c.uid);
    EXPECT_EQ(BuildSignedQuery(params, kSecret, *c.text), BuildQuery(params) + "&signature=" + c.signature) << c.name;
    std::string path;
    ASSERT_EQ(EncodeRequestPath("InstallInfo", params, kSecret, *c.text, &path), RequestEncoding::kOk) << c.name;
    EXPECT_EQ(path, c.path) << c.name;
  }
}

TEST(RequestCodecTest, QueryIsKeyOrderedRawAndWithoutLeadingAmpersand) {
  EXPECT_EQ(BuildQuery(FixedParams("u-1024")),
            "description=&deviceID={9A1B2C3D-4E5F-6a7b-8C9D-0E1F2A3B4C5D}&download_pos=1&local_time=1582161234&"
            "platform=windows&uid=u-1024&uninstall_reason=&use_module=13&version=6.1.0.3_20200220");
  // Byte order: upper case before lower case, high bytes last; nothing escaped.
  const ReportParams odd{{"b", "x&y=z"}, {"B", "1 2"}, {"\xb0", "%"}, {"a", ""}};
  EXPECT_EQ(BuildQuery(odd), "B=1 2&a=&b=x&y=z&\xb0=%");
  EXPECT_EQ(BuildQuery(ReportParams{}), "");
}

TEST(RequestCodecTest, RefusesWhatWouldNotFitTheCipherBuffer) {
  std::string path = "stale";
  // 2,032 bytes of padded plaintext still fit; one more block does not.
  // The signed query adds "&signature=" and 128 digits: 139 bytes plus "k=".
  auto paramsOfSignedLength = [](size_t signedLength) {
    return ReportParams{{"k", std::string(signedLength - 139 - 2, 'v')}};
  };
  EXPECT_EQ(EncodeRequestPath("A", paramsOfSignedLength(2031), kSecret, kAscii, &path), RequestEncoding::kOk);
  EXPECT_EQ(path.size(), 2u + 2032u / 3 * 4 + 4);
  EXPECT_EQ(EncodeRequestPath("A", paramsOfSignedLength(2032), kSecret, kAscii, &path),
            RequestEncoding::kRequestTooLong)
      << "2,032 bytes need a whole block of padding: 2,048";
  EXPECT_EQ(path, "");
  EXPECT_EQ(EncodeRequestPath("A", paramsOfSignedLength(100000), kSecret, kAscii, &path),
            RequestEncoding::kRequestTooLong);
  EXPECT_EQ(EncodeRequestPath("A", FixedParams("u"), "short", kAscii, &path), RequestEncoding::kSecretNotAKey);
  EXPECT_EQ(EncodeRequestPath("A", FixedParams("u"), kSecret + "x", kAscii, &path), RequestEncoding::kSecretNotAKey);
}

// ---------------------------------------------------------------- answers

// Base64 of AES-256 ECB under the secret of exactly these plaintext bytes
// (no padding added): for answers the server side would never make.
std::string EncipherRaw(const std::vector<uint8_t>& plain) {
  Aes aes;
  aes.SetKey(reinterpret_cast<const uint8_t*>(kSecret.data()), 32);
  std::vector<uint8_t> data = plain;
  aes.EncryptBlocks(data.data(), data.size() / 16);
  return Base64Encode(data.data(), data.size());
}

std::vector<uint8_t> Padded(std::string text, int pad, size_t blocks = 0) {
  std::vector<uint8_t> bytes = Bytes(text);
  const size_t length = blocks != 0 ? blocks * 16 : (bytes.size() / 16 + 1) * 16;
  bytes.resize(length, static_cast<uint8_t>(pad));
  return bytes;
}

TEST(RequestCodecTest, DecodesServerAnswers) {
  struct Case {
    const char* name;
    std::string body;
    const TextConversions* text;
    std::string answer;
  };
  const Case cases[] = {
      // From the test report server's encoder.
      {"server answer", "kB6BUHnWTIeFked9IF+Wfg==", &kAscii, "ok"},
      {"followed by CR LF and more", "kB6BUHnWTIeFked9IF+Wfg==\r\nQUJD\r\n", &kAscii, "ok"},
      {"line break instead of '='", "kB6BUHnWTIeFked9IF+Wfg\r\n", &kAscii, "ok"},
      {"UTF-8 answer without an ANSI form", "i+ndSJk8YW2czXpPXNMzzA==", &kLatin1, "????"},
      {"UTF-8 Latin-1 answer", EncipherRaw(Padded("caf\xc3\xa9", 11)), &kLatin1, "caf\xe9"},
      {"pad 16 drops a whole block", EncipherRaw(Padded("0123456789abcdef", 16)), &kAscii, "0123456789abcdef"},
      {"pad bytes are not checked", EncipherRaw(Padded("abc", 2, 1)), &kAscii,
       std::string("abc") + std::string(11, '\2')},
      {"cut at the first NUL", EncipherRaw(Padded(std::string("ab\0cd", 5), 11)), &kAscii, "ab"},
      {"pad equal to the length", EncipherRaw(Padded("", 16)), &kAscii, ""},
      {"empty body", "", &kAscii, ""},
      {"not Base64", "<html>no report</html>", &kAscii, ""},
      {"not a multiple of 16", Base64Encode(Padded("abc", 13).data(), 15), &kAscii, ""},
      {"pad 0", EncipherRaw(Padded("abc", 0)), &kAscii, ""},
      {"pad over the length", EncipherRaw(Padded("abc", 17)), &kAscii, ""},
      {"pad negative as a signed byte", EncipherRaw(Padded("abc", 0xF0)), &kAscii, ""},
      {"2,048 bytes fit", EncipherRaw(Padded(std::string(2047, 'x'), 1)), &kAscii, std::string(2047, 'x')},
      {"2,064 bytes do not", EncipherRaw(Padded(std::string(2063, 'x'), 1)), &kAscii, ""},
      {"10 MB of Base64 letters", std::string(10 * 1024 * 1024, 'A'), &kAscii, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeResponse(c.body, kSecret, *c.text), c.answer) << c.name;
  }
  EXPECT_EQ(DecodeResponse("kB6BUHnWTIeFked9IF+Wfg==", "not the key", kAscii), "");
}

// What the encoder makes, the server side reads back: the ciphertext of the
// request deciphers under the secret to the signed query and its padding.
TEST(RequestCodecTest, RequestDeciphersToTheSignedQueryAndPadding) {
  const ReportParams params = FixedParams("u-1024");
  std::string path;
  ASSERT_EQ(EncodeRequestPath("InstallInfo", params, kSecret, kAscii, &path), RequestEncoding::kOk);
  std::vector<uint8_t> bytes = Base64Decode(path.substr(std::string("InstallInfo/").size()));
  ASSERT_EQ(bytes.size() % 16, 0u);
  Aes aes;
  aes.SetKey(reinterpret_cast<const uint8_t*>(kSecret.data()), 32);
  aes.DecryptBlocks(bytes.data(), bytes.size() / 16);
  const std::string signedQuery = BuildSignedQuery(params, kSecret, kAscii);
  const size_t pad = 16 - signedQuery.size() % 16;
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), signedQuery + std::string(pad, static_cast<char>(pad)));
  EXPECT_EQ(signedQuery.find(kSecret), std::string::npos) << "the secret is never sent";
}

}  // namespace
}  // namespace qrn
