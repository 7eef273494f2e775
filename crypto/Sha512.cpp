#include "crypto/Sha512.h"

#include <cstring>

namespace qrn {
namespace {

constexpr uint64_t kRound[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

constexpr uint64_t Rotr(uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

uint64_t LoadBig64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

void StoreBig64(uint64_t v, uint8_t* p) {
  for (int i = 7; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

}  // namespace

Sha512::Sha512() { Reset(); }

void Sha512::Reset() {
  static constexpr uint64_t kInitial[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                           0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                           0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
  std::memcpy(state_, kInitial, sizeof state_);
  bytes_ = 0;
}

void Sha512::Transform(const uint8_t block[128]) {
  uint64_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = LoadBig64(block + 8 * t);
  for (int t = 16; t < 80; ++t) {
    const uint64_t s0 = Rotr(w[t - 15], 1) ^ Rotr(w[t - 15], 8) ^ (w[t - 15] >> 7);
    const uint64_t s1 = Rotr(w[t - 2], 19) ^ Rotr(w[t - 2], 61) ^ (w[t - 2] >> 6);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  uint64_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  uint64_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
  for (int t = 0; t < 80; ++t) {
    const uint64_t t1 = h + (Rotr(e, 14) ^ Rotr(e, 18) ^ Rotr(e, 41)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
    const uint64_t t2 = (Rotr(a, 28) ^ Rotr(a, 34) ^ Rotr(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
  state_[5] += f;
  state_[6] += g;
  state_[7] += h;
}

void Sha512::Update(const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t used = static_cast<size_t>(bytes_ % 128);
  bytes_ += length;
  if (used != 0) {
    const size_t take = length < 128 - used ? length : 128 - used;
    std::memcpy(buffer_ + used, p, take);
    used += take;
    p += take;
    length -= take;
    if (used < 128) return;
    Transform(buffer_);
  }
  for (; length >= 128; p += 128, length -= 128) Transform(p);
  std::memcpy(buffer_, p, length);
}

Sha512Digest Sha512::Finish() {
  const uint64_t bits = bytes_ * 8;
  // 0x80, zeros up to 112 mod 128, then the 128-bit big-endian bit count.
  uint8_t pad[128] = {0x80};
  const size_t used = static_cast<size_t>(bytes_ % 128);
  const size_t padLength = (used < 112 ? 112 : 240) - used;
  Update(pad, padLength);
  uint8_t lengthField[16] = {};
  StoreBig64(bits, lengthField + 8);
  Update(lengthField, sizeof lengthField);
  Sha512Digest digest;
  for (int i = 0; i < 8; ++i) StoreBig64(state_[i], digest.data() + 8 * i);
  return digest;
}

Sha512Digest Sha512Of(const void* data, size_t length) {
  Sha512 sha;
  sha.Update(data, length);
  return sha.Finish();
}

std::string Sha512Hex(const void* data, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  const Sha512Digest digest = Sha512Of(data, length);
  std::string text;
  text.reserve(128);
  for (const uint8_t b : digest) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

}  // namespace qrn
