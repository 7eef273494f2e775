// AES and MD5 against their published vectors, on both code paths of AES.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "crypto/Aes.h"
#include "crypto/Md5.h"
#include "payload/ArchiveFormat.h"

namespace qrn {
namespace {

std::vector<uint8_t> Hex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string ToHex(const uint8_t* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

// Runs the body once with the processor's AES instructions (where present)
// and once with the tables, so a fault in either path shows.
class AesPaths : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { previous_ = Aes::SetHardwareForTesting(GetParam()); }
  void TearDown() override { Aes::SetHardwareForTesting(previous_); }
  bool previous_ = false;
};

struct AesVector {
  const char* name;
  const char* key;
  const char* plain;
  const char* cipher;
};

// FIPS-197 appendix B and appendix C.1 to C.3.
const AesVector kAesVectors[] = {
    {"B", "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
    {"C.1 AES-128", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"C.2 AES-192", "000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"C.3 AES-256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
};

TEST_P(AesPaths, PublishedVectorsEncryptAndDecrypt) {
  for (const AesVector& v : kAesVectors) {
    const std::vector<uint8_t> key = Hex(v.key);
    Aes aes;
    ASSERT_TRUE(aes.SetKey(key.data(), key.size())) << v.name;
    std::vector<uint8_t> block = Hex(v.plain);
    uint8_t single[16];
    aes.EncryptBlock(block.data(), single);
    EXPECT_EQ(ToHex(single, 16), v.cipher) << v.name << " single block";
    aes.EncryptBlocks(block.data(), 1);
    EXPECT_EQ(ToHex(block.data(), 16), v.cipher) << v.name << " bulk";
    aes.DecryptBlocks(block.data(), 1);
    EXPECT_EQ(ToHex(block.data(), 16), v.plain) << v.name << " bulk decrypt";
    aes.DecryptBlock(single, single);
    EXPECT_EQ(ToHex(single, 16), v.plain) << v.name << " single decrypt";
  }
}

// The bulk path works on groups of eight blocks plus a remainder; every
// block must come out as the single-block function makes it.
TEST_P(AesPaths, BulkMatchesSingleBlocksForEveryCount) {
  std::mt19937 random(7);
  std::vector<uint8_t> key(32);
  for (auto& b : key) b = static_cast<uint8_t>(random());
  Aes aes;
  ASSERT_TRUE(aes.SetKey(key.data(), key.size()));
  for (size_t blocks : {1u, 7u, 8u, 9u, 17u, 4096u}) {
    std::vector<uint8_t> data(blocks * 16);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    std::vector<uint8_t> expected = data;
    for (size_t i = 0; i < blocks; ++i) aes.EncryptBlock(&expected[16 * i], &expected[16 * i]);
    std::vector<uint8_t> bulk = data;
    aes.EncryptBlocks(bulk.data(), blocks);
    EXPECT_EQ(bulk, expected) << blocks << " blocks";
    aes.DecryptBlocks(bulk.data(), blocks);
    EXPECT_EQ(bulk, data) << blocks << " blocks round trip";
  }
}

INSTANTIATE_TEST_SUITE_P(Aes, AesPaths, ::testing::Values(true, false), [](const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "Instructions" : "Tables";
});

TEST(AesTest, RefusesOtherKeyLengthsAndThenLeavesDataAlone) {
  Aes aes;
  const uint8_t key[20] = {};
  EXPECT_FALSE(aes.SetKey(key, sizeof key));
  EXPECT_FALSE(aes.HasKey());
  uint8_t block[16] = {1, 2, 3};
  aes.EncryptBlocks(block, 1);
  EXPECT_EQ(block[0], 1);
  EXPECT_EQ(block[3], 0);
}

TEST(Md5Test, Rfc1321TestSuite) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, digest] : cases) {
    const Md5Digest d = Md5Of(text.data(), text.size());
    EXPECT_EQ(ToHex(d.data(), d.size()), digest) << '"' << text << '"';
    // Fed in pieces of every size, the digest must be the same.
    for (size_t piece = 1; piece < 70 && !text.empty(); piece += 13) {
      Md5 md5;
      for (size_t i = 0; i < text.size(); i += piece) md5.Update(text.data() + i, std::min(piece, text.size() - i));
      const Md5Digest p = md5.Finish();
      EXPECT_EQ(ToHex(p.data(), p.size()), digest) << '"' << text << "\" in pieces of " << piece;
    }
  }
}

TEST(ArchiveKeyTest, IsMd5OfPassThenMd5OfReversedPass) {
  uint8_t key[32];
  archive::MakeArchiveKey("abc", key);
  EXPECT_EQ(ToHex(key, 16), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(ToHex(key + 16, 16), "3944b025c9ca7eec3154b44666ae04a0");
}

}  // namespace
}  // namespace qrn
