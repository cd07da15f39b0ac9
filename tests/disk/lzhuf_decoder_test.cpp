#include <gtest/gtest.h>

#include <random>

#include "disk/lzhuf.h"
#include "lzhuf_test_encoder.h"

namespace {

std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Random(size_t n, unsigned seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng() % static_cast<unsigned>(alphabet));
  return v;
}

// Text with repeats at every distance the window allows, runs longer than a
// match, and stretches of blanks that match the window's initial contents.
std::vector<uint8_t> Mixed() {
  std::vector<uint8_t> v = Text("        blanks first, then text that repeats: ");
  const auto chunk = Random(300, 7, 16);
  for (size_t distance : {1u, 2u, 59u, 60u, 61u, 1000u, 4000u, 4095u}) {
    const size_t from = v.size() > distance ? v.size() - distance : 0;
    for (size_t k = 0; k < 80; ++k) v.push_back(v[from + k]);
    v.insert(v.end(), chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(distance % 300));
    v.insert(v.end(), 100 + distance % 37, static_cast<uint8_t>(distance));
  }
  return v;
}

}  // namespace

TEST(Lzhuf, DecodesWhatTheReferenceEncoderWrote) {
  struct Case {
    const char* name;
    std::vector<uint8_t> text;
  };
  // 40000 literals and matches push the root's count past 0x8000, so the
  // tree is halved and rebuilt on the way.
  std::vector<uint8_t> rebuild = Random(45000, 3, 40);
  const auto mixed = Mixed();
  rebuild.insert(rebuild.end(), mixed.begin(), mixed.end());
  const Case cases[] = {
      {"one byte", Text("A")},
      {"blanks only", std::vector<uint8_t>(500, ' ')},
      {"zeros", std::vector<uint8_t>(9000, 0)},
      {"mixed", mixed},
      {"random", Random(5000, 11)},
      {"tree rebuilt", rebuild},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto packed = lzhuf_test::Compress(c.text);
    std::vector<uint8_t> out;
    ASSERT_TRUE(disk::LzhDecode(packed, 1 << 24, out));
    // The last byte's spare bits may decode into a few more symbols.
    ASSERT_GE(out.size(), c.text.size());
    EXPECT_LE(out.size() - c.text.size(), 7u * 60u);
    EXPECT_TRUE(std::equal(c.text.begin(), c.text.end(), out.begin()));
  }
  std::vector<uint8_t> none;
  EXPECT_TRUE(disk::LzhDecode({}, 10, none));
  EXPECT_TRUE(none.empty());
}

TEST(Lzhuf, OutputIsBounded) {
  const auto packed = lzhuf_test::Compress(std::vector<uint8_t>(100000, 0x55));
  EXPECT_LT(packed.size(), 3000u);
  std::vector<uint8_t> out = {1, 2, 3};  // appended to, and only the new bytes count
  EXPECT_FALSE(disk::LzhDecode(packed, 50000, out));
  EXPECT_EQ(out.size(), 50003u);
  // Arbitrary bytes decode to something, within the bound, without fault.
  for (unsigned seed = 0; seed < 200; ++seed) {
    const auto junk = Random(1 + seed * 3, seed);
    std::vector<uint8_t> o;
    disk::LzhDecode(junk, 4096, o);
    EXPECT_LE(o.size(), 4096u);
  }
}
