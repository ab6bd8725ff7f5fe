#include "common/pe_builder.h"

#ifdef _WIN32
#include <windows.h>

#include "base/utf8.h"
#else
#include <sys/stat.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace nurv::testing {

namespace {

void Put(std::string& out, std::size_t at, std::uint64_t value, int size) {
  if (out.size() < at + size) out.resize(at + size, '\0');
  for (int i = 0; i < size; ++i)
    out[at + i] = i < 8 ? static_cast<char>((value >> (8 * i)) & 0xFF) : 0;
}

void Append(std::string& out, std::uint64_t value, int size) { Put(out, out.size(), value, size); }

void Align(std::string& out, std::size_t alignment) {
  out.resize((out.size() + alignment - 1) / alignment * alignment, '\0');
}

void AppendWide(std::string& out, std::string_view ascii) {
  for (const char c : ascii) Append(out, static_cast<unsigned char>(c), 2);
  Append(out, 0, 2);
}

// wLength, wValueLength, wType, key, padding, value, then each child 4-byte aligned.
std::string Node(std::string_view key, int type, const std::string& value, int value_length,
                 const std::vector<std::string>& children = {}) {
  std::string node(6, '\0');
  AppendWide(node, key);
  Align(node, 4);
  node += value;
  for (const std::string& child : children) {
    Align(node, 4);
    node += child;
  }
  Put(node, 0, node.size(), 2);
  Put(node, 2, value_length, 2);
  Put(node, 4, type, 2);
  return node;
}

std::string Text(const FourPartVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release) +
         "." + std::to_string(v.build);
}

std::string StringEntry(std::string_view key, const std::string& text) {
  std::string value;
  AppendWide(value, text);
  return Node(key, 1, value, static_cast<int>(text.size() + 1));
}

}  // namespace

std::string BuildVersionInfoBlock(const FourPartVersion& product, const FourPartVersion& file,
                                  bool with_strings) {
  std::string fixed;
  Append(fixed, 0xFEEF04BD, 4);
  Append(fixed, 0x00010000, 4);
  Append(fixed, std::uint32_t{file.major} << 16 | file.minor, 4);
  Append(fixed, std::uint32_t{file.release} << 16 | file.build, 4);
  Append(fixed, std::uint32_t{product.major} << 16 | product.minor, 4);
  Append(fixed, std::uint32_t{product.release} << 16 | product.build, 4);
  Append(fixed, 0x3F, 4);        // flags mask
  Append(fixed, 0, 4);           // flags
  Append(fixed, 0x00040004, 4);  // VOS_NT_WINDOWS32
  Append(fixed, 1, 4);           // VFT_APP
  Append(fixed, 0, 12);          // subtype, date
  std::vector<std::string> children;
  if (with_strings) {
    children.push_back(
        Node("StringFileInfo", 1, {}, 0,
             {Node("040904B0", 1, {}, 0,
                   {StringEntry("CompanyName", "NURV"), StringEntry("FileVersion", Text(file)),
                    StringEntry("ProductVersion", Text(product))})}));
  }
  std::string translation;
  Append(translation, 0x04B00409, 4);
  children.push_back(Node("VarFileInfo", 1, {}, 0, {Node("Translation", 0, translation, 4)}));
  return Node("VS_VERSION_INFO", 0, fixed, 52, children);
}

std::string BuildPeFile(const FourPartVersion& product, const FourPartVersion& file,
                        bool pe32_plus) {
  constexpr std::uint32_t kPe = 0x40, kRawStart = 0x200, kRva = 0x1000;
  const std::uint32_t optional_size = pe32_plus ? 240 : 224;

  // Resource tree: type 16 → name 1 → language 0x409 → data entry → the block.
  const std::string block = BuildVersionInfoBlock(product, file);
  std::string rsrc;
  auto directory = [&rsrc](std::uint32_t id, std::uint32_t target) {
    Append(rsrc, 0, 12);
    Append(rsrc, 0, 2);  // named entries
    Append(rsrc, 1, 2);  // id entries
    Append(rsrc, id, 4);
    Append(rsrc, target, 4);
  };
  directory(16, 0x80000000u | 0x18);
  directory(1, 0x80000000u | 0x30);
  directory(0x409, 0x48);
  Append(rsrc, kRva + 0x58, 4);
  Append(rsrc, block.size(), 4);
  Append(rsrc, 0, 8);
  rsrc += block;
  const std::uint32_t virtual_size = static_cast<std::uint32_t>(rsrc.size());
  Align(rsrc, 0x200);

  std::string image(kRawStart, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put(image, 0x3C, kPe, 4);
  image.replace(kPe, 4, std::string("PE\0\0", 4));
  Put(image, kPe + 4, pe32_plus ? 0x8664 : 0x14C, 2);
  Put(image, kPe + 6, 1, 2);  // sections
  Put(image, kPe + 20, optional_size, 2);
  Put(image, kPe + 22, pe32_plus ? 0x22 : 0x102, 2);
  const std::size_t opt = kPe + 24;
  Put(image, opt, pe32_plus ? 0x20B : 0x10B, 2);
  Put(image, opt + 8, rsrc.size(), 4);  // initialised data
  if (pe32_plus) {
    Put(image, opt + 24, 0x140000000ull, 8);
  } else {
    Put(image, opt + 28, 0x400000, 4);
  }
  Put(image, opt + 32, 0x1000, 4);         // section alignment
  Put(image, opt + 36, 0x200, 4);          // file alignment
  Put(image, opt + 40, 6, 2);              // OS version 6.0
  Put(image, opt + 48, 6, 2);              // subsystem version 6.0
  Put(image, opt + 56, kRva + 0x1000, 4);  // size of image
  Put(image, opt + 60, kRawStart, 4);      // size of headers
  Put(image, opt + 68, 2, 2);              // GUI
  const std::size_t directories = opt + (pe32_plus ? 112 : 96);
  Put(image, directories - 4, 16, 4);
  Put(image, directories + 2 * 8, kRva, 4);
  Put(image, directories + 2 * 8 + 4, virtual_size, 4);

  const std::size_t section = opt + optional_size;
  image.replace(section, 8, std::string(".rsrc\0\0\0", 8));
  Put(image, section + 8, virtual_size, 4);
  Put(image, section + 12, kRva, 4);
  Put(image, section + 16, rsrc.size(), 4);
  Put(image, section + 20, kRawStart, 4);
  Put(image, section + 36, 0x40000040, 4);  // initialised data, readable
  return image + rsrc;
}

#ifdef _WIN32

void AttachVersionSection(const std::string& program_path, const FourPartVersion& product,
                          const FourPartVersion& file) {
  std::string block = BuildVersionInfoBlock(product, file);
  const HANDLE update = BeginUpdateResourceW(Utf8ToUtf16<wchar_t>(program_path).c_str(), FALSE);
  if (update == nullptr) throw std::runtime_error("cannot open the resources of " + program_path);
  const bool added =
      UpdateResourceW(update, MAKEINTRESOURCEW(16) /* RT_VERSION */, MAKEINTRESOURCEW(1),
                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), block.data(),
                      static_cast<DWORD>(block.size())) != 0;
  // Discarded unless the resource was added: the program stays as it was.
  if (!EndUpdateResourceW(update, added ? FALSE : TRUE) || !added) {
    throw std::runtime_error("cannot add a version resource to " + program_path);
  }
}

#else

namespace {

// `text` as one word of the shell's command line.
std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

void AttachVersionSection(const std::string& elf_path, const FourPartVersion& product,
                          const FourPartVersion& file) {
  namespace fs = std::filesystem;
  struct stat info {};
  if (::stat(elf_path.c_str(), &info) != 0) throw std::runtime_error("no such file: " + elf_path);
  const std::string block_path = elf_path + ".version-block";
  const std::string output_path = elf_path + ".with-version";
  {
    std::ofstream out(block_path, std::ios::binary | std::ios::trunc);
    const std::string block = BuildVersionInfoBlock(product, file);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + block_path);
  }
  const std::string command = "objcopy --add-section .nurv_version=" + Quote(block_path) +
                              " --set-section-flags .nurv_version=noload,readonly " +
                              Quote(elf_path) + " " + Quote(output_path);
  const int status = std::system(command.c_str());
  std::error_code ignored;
  fs::remove(block_path, ignored);
  if (status != 0) {
    fs::remove(output_path, ignored);
    throw std::runtime_error("objcopy failed for " + elf_path);
  }
  if (::chmod(output_path.c_str(), info.st_mode & 07777) != 0 ||
      std::rename(output_path.c_str(), elf_path.c_str()) != 0) {
    fs::remove(output_path, ignored);
    throw std::runtime_error("cannot replace " + elf_path);
  }
}

#endif

}  // namespace nurv::testing
