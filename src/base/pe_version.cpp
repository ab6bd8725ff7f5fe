#include "base/pe_version.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace nurv {

namespace {


// Every read goes through these: out of range gives nullopt, never a read past the view.
struct Bytes {
  std::string_view data;

  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= data.size() && size <= data.size() - offset;
  }
  std::optional<std::uint64_t> Uint(std::uint64_t offset, unsigned size,
                                    bool big_endian = false) const {
    if (!Has(offset, size)) return std::nullopt;
    std::uint64_t value = 0;
    for (unsigned i = 0; i < size; ++i) {
      const unsigned index = big_endian ? i : size - 1 - i;
      value = (value << 8) | static_cast<unsigned char>(data[offset + index]);
    }
    return value;
  }
  std::optional<std::uint32_t> U16(std::uint64_t offset, bool big_endian = false) const {
    auto v = Uint(offset, 2, big_endian);
    return v ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*v)) : std::nullopt;
  }
  std::optional<std::uint32_t> U32(std::uint64_t offset, bool big_endian = false) const {
    auto v = Uint(offset, 4, big_endian);
    return v ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*v)) : std::nullopt;
  }
  std::optional<std::string_view> Slice(std::uint64_t offset, std::uint64_t size) const {
    if (!Has(offset, size)) return std::nullopt;
    return data.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
  }
};

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint64_t kFixedInfoOffset = 40;  // after the header, the key and its padding
constexpr std::uint64_t kFixedInfoSize = 52;

FourPartVersion SplitVersion(std::uint32_t ms, std::uint32_t ls) {
  return {static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms & 0xFFFFu),
          static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls & 0xFFFFu)};
}

struct Section {
  std::uint64_t virtual_address;
  std::uint64_t virtual_size;
  std::uint64_t raw_size;
  std::uint64_t raw_offset;
};

// File offset and the bytes available from there to the end of the section's raw data.
std::optional<std::string_view> MapRva(const Bytes& image, const std::vector<Section>& sections,
                                       std::uint64_t rva) {
  for (const Section& s : sections) {
    if (rva < s.virtual_address) continue;
    const std::uint64_t delta = rva - s.virtual_address;
    const std::uint64_t extent = std::max(s.virtual_size, s.raw_size);
    if (delta >= extent || delta >= s.raw_size) continue;
    const std::uint64_t offset = s.raw_offset + delta;
    if (offset >= image.data.size()) return std::nullopt;
    const std::uint64_t available =
        std::min<std::uint64_t>(s.raw_size - delta, image.data.size() - offset);
    return image.Slice(offset, available);
  }
  return std::nullopt;
}

// One entry of a resource directory: the Name/Id word and the offset word.
struct ResourceEntry {
  std::uint32_t name;
  std::uint32_t offset;
};

std::optional<std::vector<ResourceEntry>> ReadResourceDirectory(const Bytes& tree,
                                                                std::uint64_t offset) {
  const auto named = tree.U16(offset + 12);
  const auto ids = tree.U16(offset + 14);
  if (!named || !ids) return std::nullopt;
  const std::uint64_t count = std::uint64_t{*named} + *ids;
  if (!tree.Has(offset + 16, count * 8)) return std::nullopt;
  std::vector<ResourceEntry> entries;
  entries.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) {
    entries.push_back({*tree.U32(offset + 16 + i * 8), *tree.U32(offset + 20 + i * 8)});
  }
  return entries;
}

void PutU16(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void PutU32(std::string& out, std::uint32_t value) {
  PutU16(out, value & 0xFFFFu);
  PutU16(out, value >> 16);
}

void PadTo4(std::string& out) {
  while (out.size() % 4 != 0) out.push_back('\0');
}

void PutWide(std::string& out, std::string_view ascii) {
  for (const char c : ascii) PutU16(out, static_cast<unsigned char>(c));
  PutU16(out, 0);
}

// One node of the version tree: header, key, value, children; each part 4-byte aligned.
std::string VersionNode(std::string_view key, std::uint32_t type, const std::string& value,
                        std::uint32_t value_length, const std::vector<std::string>& children) {
  std::string node(6, '\0');
  PutWide(node, key);
  PadTo4(node);
  node += value;
  for (const std::string& child : children) {
    PadTo4(node);
    node += child;
  }
  node[0] = static_cast<char>(node.size() & 0xFF);
  node[1] = static_cast<char>((node.size() >> 8) & 0xFF);
  node[2] = static_cast<char>(value_length & 0xFF);
  node[3] = static_cast<char>((value_length >> 8) & 0xFF);
  node[4] = static_cast<char>(type);
  return node;
}

std::string StringNode(std::string_view key, std::string_view text) {
  std::string value;
  PutWide(value, text);
  return VersionNode(key, 1, value, static_cast<std::uint32_t>(text.size() + 1), {});
}

std::string DottedText(const FourPartVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release) +
         "." + std::to_string(v.build);
}

}  // namespace

std::optional<FileVersions> ParseVersionInfoBlock(std::string_view block) {
  const Bytes bytes{block};
  const auto length = bytes.U16(0);
  const auto value_length = bytes.U16(2);
  if (!length || !value_length) return std::nullopt;
  if (*length < kFixedInfoOffset + kFixedInfoSize || *length > block.size()) return std::nullopt;
  if (*value_length < kFixedInfoSize) return std::nullopt;
  static constexpr std::string_view kKey = "VS_VERSION_INFO";
  for (std::size_t i = 0; i <= kKey.size(); ++i) {
    const std::uint32_t expected = i < kKey.size() ? static_cast<unsigned char>(kKey[i]) : 0;
    if (*bytes.U16(6 + 2 * i) != expected) return std::nullopt;
  }
  if (*bytes.U32(kFixedInfoOffset) != kFixedInfoSignature) return std::nullopt;
  FileVersions versions;
  versions.file = SplitVersion(*bytes.U32(48), *bytes.U32(52));
  versions.product = SplitVersion(*bytes.U32(56), *bytes.U32(60));
  return versions;
}

std::optional<std::string_view> FindPeVersionBlock(std::string_view image_data) {
  const Bytes image{image_data};
  if (!image.Has(0, 64) || image_data.substr(0, 2) != "MZ") return std::nullopt;
  const std::uint64_t pe = *image.U32(0x3C);
  if (image.Slice(pe, 4) != std::optional<std::string_view>(std::string_view("PE\0\0", 4))) {
    return std::nullopt;
  }
  const auto section_count = image.U16(pe + 6);
  const auto optional_size = image.U16(pe + 20);
  if (!section_count || !optional_size) return std::nullopt;
  const std::uint64_t optional_header = pe + 24;
  const auto magic = image.U16(optional_header);
  if (!magic) return std::nullopt;
  std::uint64_t directories;
  if (*magic == 0x10B) {
    directories = 96;
  } else if (*magic == 0x20B) {
    directories = 112;
  } else {
    return std::nullopt;
  }
  const auto directory_count = image.U32(optional_header + directories - 4);
  constexpr std::uint64_t kResourceDirectory = 2;
  if (!directory_count || *directory_count <= kResourceDirectory) return std::nullopt;
  const std::uint64_t resource_entry = directories + kResourceDirectory * 8;
  if (resource_entry + 8 > *optional_size) return std::nullopt;
  const auto resource_rva = image.U32(optional_header + resource_entry);
  const auto resource_size = image.U32(optional_header + resource_entry + 4);
  if (!resource_rva || !resource_size || *resource_rva == 0 || *resource_size == 0) {
    return std::nullopt;
  }

  const std::uint64_t section_table = optional_header + *optional_size;
  if (!image.Has(section_table, std::uint64_t{*section_count} * 40)) return std::nullopt;
  std::vector<Section> sections;
  for (std::uint64_t i = 0; i < *section_count; ++i) {
    const std::uint64_t s = section_table + i * 40;
    sections.push_back(
        {*image.U32(s + 12), *image.U32(s + 8), *image.U32(s + 16), *image.U32(s + 20)});
  }

  const auto tree_view = MapRva(image, sections, *resource_rva);
  if (!tree_view) return std::nullopt;
  const Bytes tree{tree_view->substr(0, std::min<std::size_t>(tree_view->size(), *resource_size))};

  // Type level: the RT_VERSION id; then the first name and the first language. The depth is
  // fixed, so an entry that points back up the tree cannot make this loop.
  const auto types = ReadResourceDirectory(tree, 0);
  if (!types) return std::nullopt;
  std::optional<std::uint32_t> next;
  for (const ResourceEntry& entry : *types) {
    if (entry.name == kRtVersion && (entry.offset & kSubdirectoryBit) != 0) {
      next = entry.offset & ~kSubdirectoryBit;
      break;
    }
  }
  if (!next) return std::nullopt;
  const auto names = ReadResourceDirectory(tree, *next);
  if (!names || names->empty() || ((*names)[0].offset & kSubdirectoryBit) == 0) return std::nullopt;
  const auto languages = ReadResourceDirectory(tree, (*names)[0].offset & ~kSubdirectoryBit);
  if (!languages || languages->empty() || ((*languages)[0].offset & kSubdirectoryBit) != 0) {
    return std::nullopt;
  }
  const std::uint64_t data_entry = (*languages)[0].offset;
  const auto data_rva = tree.U32(data_entry);
  const auto data_size = tree.U32(data_entry + 4);
  if (!data_rva || !data_size) return std::nullopt;
  const auto data = MapRva(image, sections, *data_rva);
  if (!data || data->size() < *data_size) return std::nullopt;
  return data->substr(0, *data_size);
}

std::optional<std::string_view> FindElfVersionSection(std::string_view image_data) {
  const Bytes image{image_data};
  if (!image.Has(0, 16) || image_data.substr(0, 4) !=
                               "\x7F"
                               "ELF")
    return std::nullopt;
  const char elf_class = image_data[4];
  const char encoding = image_data[5];
  if ((elf_class != 1 && elf_class != 2) || (encoding != 1 && encoding != 2)) return std::nullopt;
  const bool is64 = elf_class == 2;
  const bool be = encoding == 2;
  const auto section_offset = is64 ? image.Uint(0x28, 8, be) : image.Uint(0x20, 4, be);
  const auto entry_size = image.U16(is64 ? 0x3A : 0x2E, be);
  const auto count = image.U16(is64 ? 0x3C : 0x30, be);
  const auto names_index = image.U16(is64 ? 0x3E : 0x32, be);
  if (!section_offset || !entry_size || !count || !names_index) return std::nullopt;
  const std::uint64_t min_entry = is64 ? 64 : 40;
  // An extended section count or name index (0 / 0xFFFF) is not used by such files.
  if (*count == 0 || *entry_size < min_entry || *names_index >= *count) return std::nullopt;
  if (!image.Has(*section_offset, std::uint64_t{*count} * *entry_size)) return std::nullopt;

  struct ElfSection {
    std::uint32_t name, type;
    std::uint64_t offset, size;
  };
  auto section = [&](std::uint64_t index) -> ElfSection {
    const std::uint64_t at = *section_offset + index * *entry_size;
    if (is64) {
      return {*image.U32(at, be), *image.U32(at + 4, be), *image.Uint(at + 24, 8, be),
              *image.Uint(at + 32, 8, be)};
    }
    return {*image.U32(at, be), *image.U32(at + 4, be), *image.Uint(at + 16, 4, be),
            *image.Uint(at + 20, 4, be)};
  };
  constexpr std::uint32_t kNoBits = 8;
  const ElfSection strings = section(*names_index);
  const auto names = image.Slice(strings.offset, strings.size);
  if (!names || strings.type == kNoBits) return std::nullopt;
  static constexpr std::string_view kName(".nurv_version\0", 14);
  for (std::uint64_t i = 0; i < *count; ++i) {
    const ElfSection s = section(i);
    if (s.name >= names->size() || names->substr(s.name, kName.size()) != kName) continue;
    if (s.type == kNoBits) return std::nullopt;
    return image.Slice(s.offset, s.size);
  }
  return std::nullopt;
}

std::optional<FileVersions> ReadImageVersions(std::string_view image) {
  std::optional<std::string_view> block = FindPeVersionBlock(image);
  if (!block) block = FindElfVersionSection(image);
  if (!block) return std::nullopt;
  return ParseVersionInfoBlock(*block);
}

std::string BuildVersionInfoBlock(const FileVersions& versions) {
  std::string fixed;
  const FourPartVersion& f = versions.file;
  const FourPartVersion& p = versions.product;
  const std::array<std::uint32_t, 13> words = {
      kFixedInfoSignature,
      0x00010000u,                               // structure version 1.0
      std::uint32_t{f.major} << 16 | f.minor,    // file version
      std::uint32_t{f.release} << 16 | f.build,  //
      std::uint32_t{p.major} << 16 | p.minor,    // product version
      std::uint32_t{p.release} << 16 | p.build,  //
      0x3Fu,                                     // flags mask
      0u,                                        // flags
      0x00040004u,                               // VOS_NT_WINDOWS32
      1u,                                        // VFT_APP
      0u,
      0u,
      0u};
  for (const std::uint32_t word : words) PutU32(fixed, word);

  const std::string strings =
      VersionNode("StringFileInfo", 1, {}, 0,
                  {VersionNode("040904B0", 1, {}, 0,
                               {StringNode("FileVersion", DottedText(f)),
                                StringNode("ProductVersion", DottedText(p))})});
  std::string translation;
  PutU32(translation, 0x04B00409u);  // U.S. English, Unicode
  const std::string vars =
      VersionNode("VarFileInfo", 1, {}, 0, {VersionNode("Translation", 0, translation, 4, {})});
  return VersionNode("VS_VERSION_INFO", 0, fixed, kFixedInfoSize, {strings, vars});
}

}  // namespace nurv
