// Checksums of a point's files: the same bytes in any pieces give the same value, and the
// value is the one older point reports recorded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/files/checksum.h"
#include "scratch_folder.h"

using namespace gravlag;

TEST(Checksum, PiecesOfAnySizeAndAFileGiveTheSameValue)
{
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += std::to_string(i * 7919) + ",";
    Checksum whole;
    whole.add(text.data(), text.size());
    for (const std::size_t piece : {1u, 3u, 7u, 8u, 9u, 64u}) {
        Checksum pieces;
        for (std::size_t at = 0; at < text.size(); at += piece)
            pieces.add(text.data() + at, std::min(piece, text.size() - at));
        EXPECT_EQ(pieces.value(), whole.value()) << piece;
        EXPECT_EQ(pieces.bytes(), text.size());
    }
    // One byte changed, one byte more, or a word's bytes swapped: another value.
    std::string changed = text;
    changed[text.size() / 2] ^= 1;
    std::string swapped = text;
    std::swap(swapped[0], swapped[1]);
    for (const std::string& other : {changed, swapped, text + "\n"}) {
        Checksum sum;
        sum.add(other.data(), other.size());
        EXPECT_NE(sum.value(), whole.value());
    }
    Checksum pinned; // recorded in point reports: never to change
    pinned.add("k,t,r1,r2\n0,0,3,3\n", 18);
    EXPECT_EQ(pinned.value(), 0xe852326f2d911ef4u);

    const gravlag::testing::ScratchFolder scratch("checksum_file");
    const std::filesystem::path& dir = scratch.path();
    std::ofstream(dir / "a.csv", std::ios::binary) << text;
    EXPECT_EQ(DigestOfFile((dir / "a.csv").string()), (FileDigest{text.size(), whole.value()}));
    EXPECT_FALSE(DigestOfFile((dir / "missing.csv").string()));
    EXPECT_FALSE(DigestOfFile(dir.string())); // a folder is no file to vouch for
}
