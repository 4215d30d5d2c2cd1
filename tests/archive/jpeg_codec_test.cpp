#include "archive/jpeg_codec.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "archive/sample_picture.h"
#include "archive_test_util.h"

using archive_test::Bytes;
using archive_test::Encode;

namespace {

struct Decoded {
  bool ok = false;
  RawImage image;
  HeapBytes owner;
};

Decoded Decode(const std::string& jpeg, std::size_t maxBytes = kMaxDecodedBytes) {
  // An exact-size heap copy, so a read past the end is caught by the address sanitizer.
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[jpeg.size() ? jpeg.size() : 1]);
  std::copy(jpeg.begin(), jpeg.end(), exact.get());
  Decoded d;
  d.ok = DecodeJpeg(exact.get(), jpeg.size(), d.image, maxBytes);
  d.owner.reset(d.image.pixels);
  return d;
}

std::vector<std::uint8_t> Sample() { return {SamplePicture().begin(), SamplePicture().end()}; }

// Keeps SOI and the table segments and ends the string before the frame header.
std::string TablesOnly(const std::string& jpeg) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && static_cast<std::uint8_t>(jpeg[at + 1]) != 0xC0) {
    at += 2 + (static_cast<std::uint8_t>(jpeg[at + 2]) << 8 | static_cast<std::uint8_t>(jpeg[at + 3]));
  }
  return jpeg.substr(0, at) + "\xFF\xD9";
}

}  // namespace

TEST(JpegCodec, GreyRoundTripKeepsOneComponentAndThePicture) {
  const auto sample = Sample();
  const std::string jpeg = Encode(sample, 180, 144, 1, 95);
  ASSERT_FALSE(jpeg.empty());
  const Decoded d = Decode(jpeg);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.image.width, 180u);
  EXPECT_EQ(d.image.height, 144u);
  EXPECT_EQ(d.image.components, 1u);
  long difference = 0;
  for (std::size_t i = 0; i < sample.size(); ++i) difference += std::abs(int(sample[i]) - int(d.image.pixels[i]));
  EXPECT_LT(difference / long(sample.size()), 3);
}

TEST(JpegCodec, ColourKeepsChannelOrder) {
  // Left half (200, 40, 90), right half (30, 180, 60), first component first.
  std::vector<std::uint8_t> rgb(64 * 32 * 3);
  for (std::size_t p = 0; p < 64 * 32; ++p) {
    const bool left = p % 64 < 32;
    rgb[3 * p] = left ? 200 : 30;
    rgb[3 * p + 1] = left ? 40 : 180;
    rgb[3 * p + 2] = left ? 90 : 60;
  }
  const Decoded d = Decode(Encode(rgb, 64, 32, 3, 95));
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(d.image.components, 3u);
  const std::uint8_t* left = d.image.pixels + (16 * 64 + 8) * 3;
  const std::uint8_t* right = d.image.pixels + (16 * 64 + 56) * 3;
  EXPECT_NEAR(left[0], 200, 6);
  EXPECT_NEAR(left[1], 40, 6);
  EXPECT_NEAR(left[2], 90, 6);
  EXPECT_NEAR(right[0], 30, 6);
  EXPECT_NEAR(right[1], 180, 6);
  EXPECT_NEAR(right[2], 60, 6);
}

TEST(JpegCodec, QualityIsClampedByTheLibrary) {
  const auto sample = Sample();
  EXPECT_EQ(Encode(sample, 180, 144, 1, 0), Encode(sample, 180, 144, 1, 1));
  EXPECT_EQ(Encode(sample, 180, 144, 1, -5), Encode(sample, 180, 144, 1, 1));
  EXPECT_EQ(Encode(sample, 180, 144, 1, 150), Encode(sample, 180, 144, 1, 100));
  EXPECT_LT(Encode(sample, 180, 144, 1, 50).size(), Encode(sample, 180, 144, 1, 95).size());
}

TEST(JpegCodec, OddWidthRowsHaveNoPadding) {
  // Column 180 of every row is bright, all else dark: with a padded stride the bright
  // column would drift left row by row.
  const std::uint32_t width = 181, height = 16;
  std::vector<std::uint8_t> grey(width * height, 20);
  for (std::uint32_t y = 0; y < height; ++y) grey[y * width + 180] = 230;
  const Decoded d = Decode(Encode(grey, width, height, 1, 100));
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(d.image.width, 181u);
  for (std::uint32_t y = 0; y < height; ++y) {
    EXPECT_GT(d.image.pixels[y * width + 180], 150) << "row " << y;
    EXPECT_LT(d.image.pixels[y * width + 170], 60) << "row " << y;
  }
}

// What a decode of each stream gives: bad ones fail without a picture, a cut one ends at a
// fake end of image, and the size limit counts pixels.
TEST(JpegCodec, DecodeOfBadCutAndOversizedStreams) {
  const std::string jpeg = Encode(Sample(), 180, 144, 1, 90);
  const struct {
    const char* what;
    std::string stream;
    std::size_t maxBytes;
    bool ok;
  } cases[] = {
      {"tables only", TablesOnly(jpeg), kMaxDecodedBytes, false},
      {"empty", "", kMaxDecodedBytes, false},
      {"not a jpeg", "not a jpeg at all", kMaxDecodedBytes, false},
      {"start of image only", jpeg.substr(0, 2), kMaxDecodedBytes, false},
      {"a third", jpeg.substr(0, jpeg.size() / 3), kMaxDecodedBytes, true},
      {"a half", jpeg.substr(0, jpeg.size() / 2), kMaxDecodedBytes, true},
      {"all but 3 bytes", jpeg.substr(0, jpeg.size() - 3), kMaxDecodedBytes, true},
      {"one pixel above the limit", jpeg, 180 * 144 - 1, false},
      {"at the limit", jpeg, 180 * 144, true},
  };
  for (const auto& c : cases) {
    const Decoded d = Decode(c.stream, c.maxBytes);
    EXPECT_EQ(d.ok, c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(d.image.width * d.image.height, 180u * 144u) << c.what;
    } else {
      EXPECT_EQ(d.image.pixels, nullptr) << c.what;
    }
  }
}

TEST(JpegCodec, ImageTooLargeForTheBufferFailsEncoding) {
  // Noise at quality 100 cannot fit 262,144 bytes; a smaller piece of it can.
  std::vector<std::uint8_t> noise(512 * 512 * 3);
  std::uint32_t state = 12345;
  for (auto& v : noise) {
    state = state * 1664525u + 1013904223u;
    v = static_cast<std::uint8_t>(state >> 24);
  }
  std::uint8_t* jpeg = reinterpret_cast<std::uint8_t*>(&noise);
  std::uint32_t length = 7;
  EXPECT_FALSE(EncodeJpeg(noise.data(), 512, 512, 3, 100, &jpeg, &length));
  EXPECT_EQ(jpeg, nullptr);
  EXPECT_TRUE(EncodeJpeg(noise.data(), 128, 128, 3, 100, &jpeg, &length));
  EXPECT_GT(length, 0u);
  std::free(jpeg);
}

TEST(JpegCodec, UnsupportedLayoutFailsEncoding) {
  std::vector<std::uint8_t> pixels(16 * 16 * 4, 100);
  std::uint8_t* jpeg = nullptr;
  std::uint32_t length = 0;
  EXPECT_FALSE(EncodeJpeg(pixels.data(), 16, 16, 4, 90, &jpeg, &length));
  EXPECT_FALSE(EncodeJpeg(pixels.data(), 0, 16, 1, 90, &jpeg, &length));
  EXPECT_EQ(jpeg, nullptr);
}

TEST(JpegCodec, ConcurrentDecodesDoNotDisturbEachOther) {
  std::vector<std::uint8_t> flat(96 * 64 * 3, 77);
  const std::string a = Encode(Sample(), 180, 144, 1, 80);
  const std::string b = Encode(flat, 96, 64, 3, 60);
  const Decoded ra = Decode(a), rb = Decode(b);
  ASSERT_TRUE(ra.ok && rb.ok);
  auto check = [](const std::string& jpeg, const Decoded& reference, int* mismatches) {
    for (int i = 0; i < 100; ++i) {
      const Decoded d = Decode(jpeg);
      const std::size_t n = std::size_t{reference.image.width} * reference.image.height * reference.image.components;
      if (!d.ok || d.image.width != reference.image.width ||
          !std::equal(d.image.pixels, d.image.pixels + n, reference.image.pixels))
        ++*mismatches;
      if (i % 10 == 0) Decode("broken");  // failures interleaved with successes
    }
  };
  int ma = 0, mb = 0;
  std::thread ta(check, std::cref(a), std::cref(ra), &ma);
  std::thread tb(check, std::cref(b), std::cref(rb), &mb);
  ta.join();
  tb.join();
  EXPECT_EQ(ma, 0);
  EXPECT_EQ(mb, 0);
}

namespace {

TEST(JpegHostile, ClaimedSizeIsReadBeforeDecoding) {
  // A real 180 x 144 grey picture whose frame header then claims 60000 x 60000.
  std::vector<std::uint8_t> grey(180 * 144, 128);
  std::uint8_t* jpeg = nullptr;
  std::uint32_t length = 0;
  ASSERT_TRUE(EncodeJpeg(grey.data(), 180, 144, 1, 90, &jpeg, &length));
  HeapBytes owner(jpeg);
  std::vector<std::uint8_t> bytes(jpeg, jpeg + length);
  std::uint64_t claimed = 0;
  std::uint32_t components = 0;
  ASSERT_TRUE(JpegPictureBytes(bytes.data(), bytes.size(), &claimed, &components));
  EXPECT_EQ(claimed, 180u * 144u);
  EXPECT_EQ(components, 1u);
  for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
      bytes[i + 5] = 0xEA, bytes[i + 6] = 0x60, bytes[i + 7] = 0xEA, bytes[i + 8] = 0x60;  // 60000 x 60000
      break;
    }
  }
  ASSERT_TRUE(JpegPictureBytes(bytes.data(), bytes.size(), &claimed, &components));
  EXPECT_EQ(claimed, 3600000000u);
  RawImage image;
  EXPECT_FALSE(DecodeJpeg(bytes.data(), bytes.size(), image));
  EXPECT_EQ(image.pixels, nullptr);
}

TEST(JpegHostile, DecodingThreadsShareOneMemoryBudget) {
  MemoryBudget budget(100);
  std::atomic<int> holding{0};
  std::atomic<int> most{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      // 60 + 60 does not fit, a request above the total takes all of it.
      const MemoryBudget::Reservation r(budget, i == 3 ? 1000 : 60);
      const int now = ++holding;
      int seen = most.load();
      while (now > seen && !most.compare_exchange_weak(seen, now)) {
      }
      EXPECT_LE(budget.Used(), 100u);
      std::this_thread::yield();
      --holding;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(most.load(), 1);
  EXPECT_EQ(budget.Used(), 0u);
}

}  // namespace
