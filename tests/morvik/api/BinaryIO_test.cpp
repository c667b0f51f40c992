#include <morvik/api/ScrambledFile.h>
#include <morvik/api/gen_util.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TempDirTest.h"

namespace {

class BinaryIO : public TempDirTest {};

TEST_F(BinaryIO, NumbersAreStoredMostSignificantByteFirst) {
    const std::uint16_t probe = 1;
    const bool littleEndian = *reinterpret_cast<const unsigned char*>(&probe) == 1;
    EXPECT_EQ(byte_order_swapped(), littleEndian ? 1 : 0);

    Write("n.bin", std::string("\x00\x00\x01\x00", 4));
    std::FILE* f = std::fopen("n.bin", "rb");
    std::uint32_t v = 0;
    EXPECT_EQ(fread_swap(f, &v, 4), 4u);
    EXPECT_EQ(v, 256u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fread_swap(f, &v, 4), 0u); // at the end: a short read
    EXPECT_EQ(fread_swap(f, &v, 3), 0u);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Read error in fread_swap! (0 of 4)"), std::string::npos) << err;
    EXPECT_NE(err.find("Parameter error in fread_swap!\n"), std::string::npos) << err;
    std::fclose(f);

    f = std::fopen("w.bin", "wb");
    std::uint64_t big = 0x0102030405060708ULL;
    EXPECT_EQ(fwrite_swap(f, &big, 8), 8u);
    EXPECT_EQ(big, 0x0102030405060708ULL); // the caller's number is unchanged
    std::fclose(f);
    EXPECT_EQ(Read("w.bin"), std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));

    std::uint16_t s = 0x1234;
    EXPECT_EQ(swap_data(&s, 2), 1);
    EXPECT_EQ(s, 0x3412);
    // A size that is no number's is the caller's mistake: reported, nothing touched, and the
    // process goes on.
    std::uint64_t untouched = 0x0102030405060708ULL;
    for (std::size_t size : {0u, 3u, 16u}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(swap_data(&untouched, size), 0) << size;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Parameter error in swap_data!\n");
    }
    EXPECT_EQ(untouched, 0x0102030405060708ULL);
}

TEST_F(BinaryIO, CheckedBlockIoReportsShortTransfers) {
    Write("b.bin", "abc");
    std::FILE* f = std::fopen("b.bin", "rb");
    char buf[8];
    testing::internal::CaptureStderr();
    EXPECT_EQ(fread_check(buf, 2, 4, f), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("fread_check (gen_util): 2 of 8 read!"),
              std::string::npos);
    std::fclose(f);
    f = std::fopen("c.bin", "wb");
    EXPECT_EQ(fwrite_check("xyz", 1, 3, f), 1);
    std::fclose(f);
    EXPECT_EQ(Read("c.bin"), "xyz");
}

TEST(ScrambledFileKey, IsTheLrand48StreamOfTheNameSeed) {
    EXPECT_EQ(ScrambledFile::NameSeed(""), 1u);
    EXPECT_EQ(ScrambledFile::NameSeed("ab"), 0x6261u);
    EXPECT_EQ(ScrambledFile::NameSeed("abcde"), 0x64636261u ^ 0x65u);
    EXPECT_EQ(ScrambledFile::NameSeed("aa"), 0x6161u);
    EXPECT_EQ(ScrambledFile::NameSeed("aaaaa\x61"), 0x61616161u ^ 0x6161u);
#if !defined(_WIN32)
    for (std::uint32_t seed : {1u, 0x64636261u, 0xFFFFFFFFu}) {
        unsigned char key[ScrambledFile::kKeySize];
        ScrambledFile::MakeKey(seed, key, sizeof key);
        srand48(static_cast<long>(seed));
        for (std::size_t i = 0; i < sizeof key; ++i) {
            ASSERT_EQ(key[i], static_cast<unsigned char>(lrand48())) << seed << " at " << i;
        }
    }
#endif
}

TEST_F(BinaryIO, ScrambledFilesRoundTripAndUseTheKeyByOffset) {
    std::string plain(3000, '\0');
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<char>(i * 7);
    {
        ScrambledFile out("s.dat", ".", 0, "wb");
        ASSERT_EQ(out.write(plain.data(), 1, plain.size()), plain.size());
        std::uint32_t n = 0xA1B2C3D4;
        ASSERT_EQ(out.writeElement(&n, 4), 4u);
    }
    const std::string stored = Read("s.dat");
    ASSERT_EQ(stored.size(), plain.size() + 4);
    unsigned char key[ScrambledFile::kKeySize];
    ScrambledFile::MakeKey(ScrambledFile::NameSeed("s.dat"), key, sizeof key);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        ASSERT_EQ(static_cast<unsigned char>(stored[i]),
                  static_cast<unsigned char>(plain[i]) ^ key[i % sizeof key]);
    }

    ScrambledFile in("s.dat", ".", 0, "rb");
    // A read from offset 1323 takes key[1323] for its first byte and key[0] for the next.
    std::fseek(in.Stream, 1323, SEEK_SET);
    char two[2];
    ASSERT_EQ(in.read(two, 2), 2u);
    EXPECT_EQ(two[0], plain[1323]);
    EXPECT_EQ(two[1], plain[1324]);
    std::fseek(in.Stream, 0, SEEK_SET);
    std::string back(plain.size(), '\0');
    EXPECT_EQ(in.read(back.data(), back.size()), back.size());
    EXPECT_EQ(back, plain);
    std::uint32_t n = 0;
    EXPECT_EQ(in.readElement(&n, 4), 4u);
    EXPECT_EQ(n, 0xA1B2C3D4u);
}

} // namespace
