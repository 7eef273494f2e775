#include "crypto/Aes.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <wmmintrin.h>
#define QRN_AES_X86 1
#endif

namespace qrn {
namespace {

// GF(2^8) arithmetic with the AES polynomial x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t XTime(uint8_t x) { return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0x00)); }

constexpr uint8_t Mul(uint8_t a, uint8_t b) {
  uint8_t p = 0;
  while (b != 0) {
    if (b & 1) p ^= a;
    a = XTime(a);
    b >>= 1;
  }
  return p;
}

constexpr uint8_t Rotl8(uint8_t x, int n) { return static_cast<uint8_t>((x << n) | (x >> (8 - n))); }

constexpr uint32_t Ror32(uint32_t x, int n) { return n == 0 ? x : (x >> n) | (x << (32 - n)); }

struct Tables {
  uint8_t sbox[256];
  uint8_t inv[256];
  uint32_t te[4][256];
  uint32_t td[4][256];
  uint32_t rcon[10];
};

// The S-box from the multiplicative inverse and the affine map: walk the
// field by the generator 3 (p) and its inverse (q) at the same time.
constexpr Tables MakeTables() {
  Tables t{};
  uint8_t p = 1;
  uint8_t q = 1;
  do {
    p = static_cast<uint8_t>(p ^ XTime(p));
    q = static_cast<uint8_t>(q ^ (q << 1));
    q = static_cast<uint8_t>(q ^ (q << 2));
    q = static_cast<uint8_t>(q ^ (q << 4));
    if (q & 0x80) q ^= 0x09;
    const uint8_t x = static_cast<uint8_t>(q ^ Rotl8(q, 1) ^ Rotl8(q, 2) ^ Rotl8(q, 3) ^ Rotl8(q, 4));
    t.sbox[p] = static_cast<uint8_t>(x ^ 0x63);
  } while (p != 1);
  t.sbox[0] = 0x63;
  for (int i = 0; i < 256; ++i) t.inv[t.sbox[i]] = static_cast<uint8_t>(i);

  for (int i = 0; i < 256; ++i) {
    const uint8_t s = t.sbox[i];
    const uint32_t e = (uint32_t{Mul(s, 2)} << 24) | (uint32_t{s} << 16) | (uint32_t{s} << 8) | Mul(s, 3);
    const uint8_t v = t.inv[i];
    const uint32_t d =
        (uint32_t{Mul(v, 14)} << 24) | (uint32_t{Mul(v, 9)} << 16) | (uint32_t{Mul(v, 13)} << 8) | Mul(v, 11);
    for (int k = 0; k < 4; ++k) {
      t.te[k][i] = Ror32(e, 8 * k);
      t.td[k][i] = Ror32(d, 8 * k);
    }
  }
  uint8_t r = 1;
  for (int i = 0; i < 10; ++i) {
    t.rcon[i] = uint32_t{r} << 24;
    r = XTime(r);
  }
  return t;
}

constexpr Tables kT = MakeTables();

inline uint32_t Load32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

inline uint32_t SubWord(uint32_t w) {
  return (uint32_t{kT.sbox[w >> 24]} << 24) | (uint32_t{kT.sbox[(w >> 16) & 0xFF]} << 16) |
         (uint32_t{kT.sbox[(w >> 8) & 0xFF]} << 8) | kT.sbox[w & 0xFF];
}

#if defined(QRN_AES_X86)
bool DetectHardware() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool aes = (ecx & (1u << 25)) != 0;
  const bool sse2 = (edx & (1u << 26)) != 0;
  return aes && sse2;
}

const bool kHardwareAvailable = DetectHardware();
bool g_useHardware = kHardwareAvailable;

// The round keys live inside the object, wherever its owner put it: 32-bit
// Windows gives heap blocks 8-byte and thread stacks 4-byte alignment, so
// every access to them is an unaligned load or store (an aligned one, or a
// memory operand folded into an AES instruction, faults there).
// force_align_arg_pointer realigns the stack on entry, so that spilled
// vectors are aligned whatever the caller's stack.
__attribute__((target("aes,sse2"), force_align_arg_pointer)) void HwInverseKeys(const uint8_t* enc, uint8_t* dec,
                                                                                int rounds) {
  const __m128i* e = reinterpret_cast<const __m128i*>(enc);
  __m128i* d = reinterpret_cast<__m128i*>(dec);
  _mm_storeu_si128(d, _mm_loadu_si128(e + rounds));
  for (int i = 1; i < rounds; ++i) _mm_storeu_si128(d + i, _mm_aesimc_si128(_mm_loadu_si128(e + rounds - i)));
  _mm_storeu_si128(d + rounds, _mm_loadu_si128(e));
}

// Eight blocks at a time keep the instruction pipeline full.
template <bool kDecrypt>
__attribute__((target("aes,sse2"), force_align_arg_pointer)) void HwBlocks(const uint8_t* keys, int rounds,
                                                                           uint8_t* data, size_t blocks) {
  const __m128i* k = reinterpret_cast<const __m128i*>(keys);
  __m128i rk[15];
  for (int i = 0; i <= rounds; ++i) rk[i] = _mm_loadu_si128(k + i);
  __m128i* p = reinterpret_cast<__m128i*>(data);
  size_t n = blocks;
  while (n >= 8) {
    __m128i x[8];
    for (int j = 0; j < 8; ++j) x[j] = _mm_xor_si128(_mm_loadu_si128(p + j), rk[0]);
    for (int r = 1; r < rounds; ++r)
      for (int j = 0; j < 8; ++j) x[j] = kDecrypt ? _mm_aesdec_si128(x[j], rk[r]) : _mm_aesenc_si128(x[j], rk[r]);
    for (int j = 0; j < 8; ++j) {
      _mm_storeu_si128(p + j,
                       kDecrypt ? _mm_aesdeclast_si128(x[j], rk[rounds]) : _mm_aesenclast_si128(x[j], rk[rounds]));
    }
    p += 8;
    n -= 8;
  }
  for (; n > 0; --n, ++p) {
    __m128i x = _mm_xor_si128(_mm_loadu_si128(p), rk[0]);
    for (int r = 1; r < rounds; ++r) x = kDecrypt ? _mm_aesdec_si128(x, rk[r]) : _mm_aesenc_si128(x, rk[r]);
    _mm_storeu_si128(p, kDecrypt ? _mm_aesdeclast_si128(x, rk[rounds]) : _mm_aesenclast_si128(x, rk[rounds]));
  }
}
#else
constexpr bool kHardwareAvailable = false;
bool g_useHardware = false;
#endif

}  // namespace

bool Aes::UsesHardware() { return g_useHardware; }

bool Aes::SetHardwareForTesting(bool use) {
  const bool previous = g_useHardware;
  g_useHardware = use && kHardwareAvailable;
  return previous;
}

void Aes::ClearKey() {
  rounds_ = 0;
  std::memset(enc_, 0, sizeof enc_);
  std::memset(dec_, 0, sizeof dec_);
  std::memset(encBytes_, 0, sizeof encBytes_);
  std::memset(decBytes_, 0, sizeof decBytes_);
}

bool Aes::SetKey(const uint8_t* key, size_t length) {
  ClearKey();
  if (key == nullptr || (length != 16 && length != 24 && length != 32)) return false;
  const int nk = static_cast<int>(length / 4);
  const int rounds = nk + 6;
  const int words = 4 * (rounds + 1);
  for (int i = 0; i < nk; ++i) enc_[i] = Load32(key + 4 * i);
  for (int i = nk; i < words; ++i) {
    uint32_t temp = enc_[i - 1];
    if (i % nk == 0) {
      temp = SubWord((temp << 8) | (temp >> 24)) ^ kT.rcon[i / nk - 1];
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    enc_[i] = enc_[i - nk] ^ temp;
  }
  // Equivalent inverse cipher: round keys in reverse order, InvMixColumns
  // applied to all but the first and the last.
  for (int r = 0; r <= rounds; ++r) {
    for (int c = 0; c < 4; ++c) {
      uint32_t w = enc_[4 * (rounds - r) + c];
      if (r != 0 && r != rounds) {
        w = kT.td[0][kT.sbox[w >> 24]] ^ kT.td[1][kT.sbox[(w >> 16) & 0xFF]] ^ kT.td[2][kT.sbox[(w >> 8) & 0xFF]] ^
            kT.td[3][kT.sbox[w & 0xFF]];
      }
      dec_[4 * r + c] = w;
    }
  }
  for (int i = 0; i < words; ++i) Store32(encBytes_ + 4 * i, enc_[i]);
#if defined(QRN_AES_X86)
  if (kHardwareAvailable) HwInverseKeys(encBytes_, decBytes_, rounds);
#endif
  rounds_ = rounds;
  return true;
}

void Aes::EncryptBlock(const uint8_t in[16], uint8_t out[16]) const {
  if (rounds_ == 0) return;
  const uint32_t* rk = enc_;
  uint32_t s0 = Load32(in) ^ rk[0];
  uint32_t s1 = Load32(in + 4) ^ rk[1];
  uint32_t s2 = Load32(in + 8) ^ rk[2];
  uint32_t s3 = Load32(in + 12) ^ rk[3];
  for (int r = 1; r < rounds_; ++r) {
    rk += 4;
    const uint32_t t0 =
        kT.te[0][s0 >> 24] ^ kT.te[1][(s1 >> 16) & 0xFF] ^ kT.te[2][(s2 >> 8) & 0xFF] ^ kT.te[3][s3 & 0xFF] ^ rk[0];
    const uint32_t t1 =
        kT.te[0][s1 >> 24] ^ kT.te[1][(s2 >> 16) & 0xFF] ^ kT.te[2][(s3 >> 8) & 0xFF] ^ kT.te[3][s0 & 0xFF] ^ rk[1];
    const uint32_t t2 =
        kT.te[0][s2 >> 24] ^ kT.te[1][(s3 >> 16) & 0xFF] ^ kT.te[2][(s0 >> 8) & 0xFF] ^ kT.te[3][s1 & 0xFF] ^ rk[2];
    const uint32_t t3 =
        kT.te[0][s3 >> 24] ^ kT.te[1][(s0 >> 16) & 0xFF] ^ kT.te[2][(s1 >> 8) & 0xFF] ^ kT.te[3][s2 & 0xFF] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    return ((uint32_t{kT.sbox[a >> 24]} << 24) | (uint32_t{kT.sbox[(b >> 16) & 0xFF]} << 16) |
            (uint32_t{kT.sbox[(c >> 8) & 0xFF]} << 8) | kT.sbox[d & 0xFF]) ^
           k;
  };
  Store32(out, last(s0, s1, s2, s3, rk[0]));
  Store32(out + 4, last(s1, s2, s3, s0, rk[1]));
  Store32(out + 8, last(s2, s3, s0, s1, rk[2]));
  Store32(out + 12, last(s3, s0, s1, s2, rk[3]));
}

void Aes::DecryptBlock(const uint8_t in[16], uint8_t out[16]) const {
  if (rounds_ == 0) return;
  const uint32_t* rk = dec_;
  uint32_t s0 = Load32(in) ^ rk[0];
  uint32_t s1 = Load32(in + 4) ^ rk[1];
  uint32_t s2 = Load32(in + 8) ^ rk[2];
  uint32_t s3 = Load32(in + 12) ^ rk[3];
  for (int r = 1; r < rounds_; ++r) {
    rk += 4;
    const uint32_t t0 =
        kT.td[0][s0 >> 24] ^ kT.td[1][(s3 >> 16) & 0xFF] ^ kT.td[2][(s2 >> 8) & 0xFF] ^ kT.td[3][s1 & 0xFF] ^ rk[0];
    const uint32_t t1 =
        kT.td[0][s1 >> 24] ^ kT.td[1][(s0 >> 16) & 0xFF] ^ kT.td[2][(s3 >> 8) & 0xFF] ^ kT.td[3][s2 & 0xFF] ^ rk[1];
    const uint32_t t2 =
        kT.td[0][s2 >> 24] ^ kT.td[1][(s1 >> 16) & 0xFF] ^ kT.td[2][(s0 >> 8) & 0xFF] ^ kT.td[3][s3 & 0xFF] ^ rk[2];
    const uint32_t t3 =
        kT.td[0][s3 >> 24] ^ kT.td[1][(s2 >> 16) & 0xFF] ^ kT.td[2][(s1 >> 8) & 0xFF] ^ kT.td[3][s0 & 0xFF] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    return ((uint32_t{kT.inv[a >> 24]} << 24) | (uint32_t{kT.inv[(b >> 16) & 0xFF]} << 16) |
            (uint32_t{kT.inv[(c >> 8) & 0xFF]} << 8) | kT.inv[d & 0xFF]) ^
           k;
  };
  Store32(out, last(s0, s3, s2, s1, rk[0]));
  Store32(out + 4, last(s1, s0, s3, s2, rk[1]));
  Store32(out + 8, last(s2, s1, s0, s3, rk[2]));
  Store32(out + 12, last(s3, s2, s1, s0, rk[3]));
}

void Aes::EncryptBlocks(uint8_t* data, size_t blocks) const {
  if (rounds_ == 0) return;
#if defined(QRN_AES_X86)
  if (g_useHardware) return HwBlocks<false>(encBytes_, rounds_, data, blocks);
#endif
  for (size_t i = 0; i < blocks; ++i) EncryptBlock(data + 16 * i, data + 16 * i);
}

void Aes::DecryptBlocks(uint8_t* data, size_t blocks) const {
  if (rounds_ == 0) return;
#if defined(QRN_AES_X86)
  if (g_useHardware) return HwBlocks<true>(decBytes_, rounds_, data, blocks);
#endif
  for (size_t i = 0; i < blocks; ++i) DecryptBlock(data + 16 * i, data + 16 * i);
}

}  // namespace qrn
