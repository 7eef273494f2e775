// SHA-512 against the FIPS 180-4 examples and the padding boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "crypto/Sha512.h"

namespace qrn {
namespace {

struct Sha512Case {
  const char* name;
  std::string message;
  const char* digest;
};

// "abc" and the 896-bit two-block message are the FIPS 180-4 examples; the
// million 'a' is the long message of the same test suite. 111, 112 and 128
// bytes are where the length field stops fitting into the last block (digests
// from an independent implementation).
const Sha512Case kCases[] = {
    {"abc", "abc",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2"
     "a9ac94fa54ca49f"},
    {"empty", "",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a"
     "538327af927da3e"},
    {"896 bits",
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545"
     "e96e55b874be909"},
    {"a x 111", std::string(111, 'a'),
     "fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760b4beff48404df811b953828274461673c68d04e297b0eb7b"
     "2b4d60fc6b566a2"},
    {"a x 112", std::string(112, 'a'),
     "c01d080efd492776a1c43bd23dd99d0a2e626d481e16782e75d54c2503b5dc32bd05f0f1ba33e568b88fd2d970929b719ecbb152f58f130a4"
     "07c8830604b70ca"},
    {"a x 128", std::string(128, 'a'),
     "b73d1929aa615934e61a871596b3f3b33359f42b8175602e89f7e06e5f658a243667807ed300314b95cacdd579f3e33abdfbe351909519a84"
     "6d465c59582f321"},
    {"a x 1000000", std::string(1000000, 'a'),
     "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4"
     "eadb217ad8cc09b"},
};

std::string Hex(const Sha512Digest& d) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (const uint8_t b : d) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}

TEST(Sha512Test, PublishedDigestsInLowerCaseHex) {
  for (const Sha512Case& c : kCases) {
    EXPECT_EQ(Sha512Hex(c.message), c.digest) << c.name;
  }
}

// Fed in pieces of every size, the digest must be the same: catches a buffer
// that loses or repeats bytes across Update calls.
TEST(Sha512Test, PiecewiseUpdatesGiveTheSameDigest) {
  for (const Sha512Case& c : kCases) {
    if (c.message.size() > 1000) continue;
    for (size_t piece : {1u, 7u, 63u, 127u, 128u, 129u}) {
      Sha512 sha;
      for (size_t i = 0; i < c.message.size(); i += piece)
        sha.Update(c.message.data() + i, std::min(piece, c.message.size() - i));
      EXPECT_EQ(Hex(sha.Finish()), c.digest) << c.name << " in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace qrn
