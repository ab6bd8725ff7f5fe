#include "base/pe_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/pe_builder.h"

namespace nurv {
namespace {


const FourPartVersion kProduct{6, 2, 0, 15};
const FourPartVersion kFile{1, 0, 0, 0};

void Put32(std::string& image, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t Get32(const std::string& image, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(image[at + i]);
  return value;
}

TEST(PeVersion, ProductVersionOfPe32AndPe32Plus) {
  for (bool plus : {false, true}) {
    const auto versions = ReadImageVersions(testing::BuildPeFile(kProduct, kFile, plus));
    ASSERT_TRUE(versions.has_value()) << plus;
    EXPECT_EQ(versions->product, kProduct);
    EXPECT_EQ(versions->file, kFile);
  }
  const FourPartVersion top{65535, 65534, 1000, 65535};
  EXPECT_EQ(ReadImageVersions(testing::BuildPeFile(top, kFile))->product, top);
}

TEST(PeVersion, OwnBuilderMatchesTheResourceCompilerLayout) {
  // The block synthesised for the loader itself parses like one made by the test builder.
  const std::string own = BuildVersionInfoBlock(FileVersions{kProduct, kFile});
  const std::string reference = testing::BuildVersionInfoBlock(kProduct, kFile, false);
  EXPECT_EQ(own.substr(0, 92).substr(6), reference.substr(0, 92).substr(6));
  EXPECT_EQ(ParseVersionInfoBlock(own)->product, kProduct);
  const auto bare = ParseVersionInfoBlock(reference);
  ASSERT_TRUE(bare.has_value());
  EXPECT_EQ(bare->file, kFile);
}

TEST(PeVersion, EveryTruncationGivesNoVersion) {
  const std::string image = testing::BuildPeFile(kProduct, kFile);
  const std::size_t block_end =
      0x200 + 0x58 + testing::BuildVersionInfoBlock(kProduct, kFile).size();
  for (std::size_t size = 0; size < block_end; ++size) {
    ASSERT_FALSE(ReadImageVersions(image.substr(0, size)).has_value()) << size;
  }
  EXPECT_TRUE(ReadImageVersions(image.substr(0, block_end)).has_value());
}

TEST(PeVersion, CorruptedHeadersGiveNoVersion) {
  const std::string good = testing::BuildPeFile(kProduct, kFile);
  const std::size_t opt = 0x40 + 24;
  const std::size_t section = opt + 224;
  const std::size_t rsrc = 0x200;
  struct Corruption {
    const char* what;
    std::size_t at;
    std::uint32_t value;
  };
  const Corruption corruptions[] = {
      {"PE header beyond the file", 0x3C, 0xFFFFFFF0u},
      {"section count beyond the file", 0x40 + 6, 0xFFFFu},
      {"unknown optional header", opt, 0x1234u},
      {"no resource directory slot", opt + 92, 2u},
      {"resource RVA in no section", opt + 96 + 16, 0x9000u},
      {"section raw data beyond the file", section + 20, 0xFFFFFF00u},
      {"type directory entry count too large", rsrc + 12, 0xFFFF0000u},
      {"type points at a data entry", rsrc + 20, 0x18u},
      {"name directory outside the tree", rsrc + 20, 0x8FFFFFF0u},
      {"data entry size beyond the section", rsrc + 0x48 + 4, 0xFFFFFFFFu},
      {"data RVA wraps around", rsrc + 0x48, 0xFFFFFFFFu},
      {"fixed information signature", rsrc + 0x58 + 40, 0xFEEF04BCu},
      {"block length larger than the data", rsrc + 0x58, 0x0034FFFFu},
      {"no fixed information", rsrc + 0x58, Get32(good, rsrc + 0x58) & 0xFFFFu},
  };
  for (const Corruption& c : corruptions) {
    std::string image = good;
    Put32(image, c.at, c.value);
    EXPECT_FALSE(ReadImageVersions(image).has_value()) << c.what;
  }
}

TEST(PeVersion, SelfReferencingTreeEnds) {
  std::string image = testing::BuildPeFile(kProduct, kFile);
  // Every level points back at the root: the fixed depth ends the walk with no version.
  Put32(image, 0x200 + 20, 0x80000000u);
  EXPECT_FALSE(ReadImageVersions(image).has_value());
}

// A minimal ELF with a section-name table and the version section; class and byte order free.
std::string BuildElf(bool is64, bool big_endian, const std::string& contents) {
  const std::string names = std::string("\0.shstrtab\0.nurv_version\0", 25);
  const std::size_t header = is64 ? 64 : 52, entry = is64 ? 64 : 40;
  std::string image(header, '\0');
  const std::size_t names_at = image.size();
  image += names;
  const std::size_t contents_at = image.size();
  image += contents;
  const std::size_t table = image.size();
  image.resize(table + 3 * entry, '\0');
  auto put = [&](std::size_t at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) {
      const int shift = 8 * (big_endian ? size - 1 - i : i);
      image[at + i] = static_cast<char>((value >> shift) & 0xFF);
    }
  };
  std::memcpy(image.data(),
              "\x7F"
              "ELF",
              4);
  image[4] = is64 ? 2 : 1;
  image[5] = big_endian ? 2 : 1;
  image[6] = 1;
  put(is64 ? 0x28 : 0x20, table, is64 ? 8 : 4);
  put(is64 ? 0x3A : 0x2E, entry, 2);
  put(is64 ? 0x3C : 0x30, 3, 2);
  put(is64 ? 0x3E : 0x32, 1, 2);
  auto section = [&](int index, std::uint32_t name, std::size_t at, std::size_t size) {
    const std::size_t s = table + index * entry;
    put(s, name, 4);
    put(s + 4, 1, 4);  // PROGBITS (the string table's own type does not matter here)
    put(s + (is64 ? 24 : 16), at, is64 ? 8 : 4);
    put(s + (is64 ? 32 : 20), size, is64 ? 8 : 4);
  };
  section(1, 1, names_at, names.size());
  section(2, 11, contents_at, contents.size());
  return image;
}

TEST(ElfVersion, SectionOfEveryClassAndByteOrder) {
  const std::string block = testing::BuildVersionInfoBlock(kProduct, kFile);
  for (bool is64 : {false, true}) {
    for (bool be : {false, true}) {
      const auto versions = ReadImageVersions(BuildElf(is64, be, block));
      ASSERT_TRUE(versions.has_value()) << is64 << be;
      EXPECT_EQ(versions->product, kProduct);
    }
  }
}

TEST(ElfVersion, MalformedElfGivesNoVersion) {
  const std::string block = testing::BuildVersionInfoBlock(kProduct, kFile);
  const std::string good = BuildElf(true, false, block);
  for (std::size_t size = 0; size < good.size(); size += 3) {
    ASSERT_FALSE(ReadImageVersions(good.substr(0, size)).has_value()) << size;
  }
  std::string bad_offset = good;
  Put32(bad_offset, good.size() - 64 + 24, 0xFFFFFFF0u);  // contents beyond the file
  EXPECT_FALSE(ReadImageVersions(bad_offset).has_value());
  std::string bad_name = good;
  Put32(bad_name, good.size() - 64, 0x7FFFFFFFu);  // name outside the string table
  EXPECT_FALSE(ReadImageVersions(bad_name).has_value());
  EXPECT_FALSE(ReadImageVersions(BuildElf(true, false, "short")).has_value());
}

}  // namespace
}  // namespace nurv
