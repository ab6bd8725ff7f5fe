#include "platform/posix/reg_file.h"

#include <cstdio>
#include <optional>
#include <unordered_map>

#include "base/text_utils.h"
#include "base/utf8.h"

namespace nurv::platform::regfile {
namespace {

constexpr std::size_t kLineWidth = 80;

// UTF-16LE code units to UTF-8. `stop_at_nul` ends at the first NUL character; `damaged` is set
// for an unpaired surrogate or an odd final byte.
std::string DecodeUtf16Le(const std::uint8_t* data, std::size_t size, bool stop_at_nul,
                          bool* damaged) {
  std::u16string units;
  units.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(data[i] | (static_cast<unsigned>(data[i + 1]) << 8));
    if (unit == 0 && stop_at_nul) return Utf16ToUtf8(units.data(), units.size(), damaged);
    units += unit;
  }
  if (size % 2 != 0 && damaged != nullptr) *damaged = true;
  return Utf16ToUtf8(units.data(), units.size(), damaged);
}

std::string_view Trim(std::string_view s) { return TrimAny(s, " \t"); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsIgnoringAsciiCase(s.substr(0, prefix.size()), prefix);
}

// Reads a quoted text starting at s[pos] == '"'; `pos` ends after the closing quote. Only \\ and
// \" are escapes; any other backslash stands for itself.
std::optional<std::string> ReadQuoted(std::string_view s, std::size_t& pos) {
  std::string out;
  for (++pos; pos < s.size(); ++pos) {
    const char c = s[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\0') return std::nullopt;
    if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) ++pos;
    out += s[pos];
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> ReadHexBytes(std::string_view list) {
  std::vector<std::uint8_t> bytes;
  list = Trim(list);
  if (list.empty()) return bytes;
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view token = Trim(list.substr(0, comma));
    if (token.size() != 2 || HexDigit(token[0]) < 0 || HexDigit(token[1]) < 0) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(HexDigit(token[0]) * 16 + HexDigit(token[1])));
    if (comma == std::string_view::npos) return bytes;
    list.remove_prefix(comma + 1);
  }
}

struct Lines {
  std::vector<std::string_view> items;
  explicit Lines(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' || text[i] == '\n') {
        items.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
      }
    }
    if (start < text.size()) items.push_back(text.substr(start));
  }
};

std::string Escape(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

void WriteHex(std::string& out, std::size_t column, const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    // Room for "xx," and the continuation mark keeps every line within kLineWidth.
    if (column + 4 > kLineWidth) {
      out += "\\\n  ";
      column = 2;
    }
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
    column += 2;
    if (i + 1 < bytes.size()) {
      out += ',';
      ++column;
    }
  }
}

}  // namespace

std::string Utf16LeToUtf8(const std::vector<std::uint8_t>& bytes) {
  return DecodeUtf16Le(bytes.data(), bytes.size(), true, nullptr);
}

std::vector<std::uint8_t> Utf8ToUtf16Le(std::string_view utf8) {
  std::vector<std::uint8_t> out;
  out.reserve(utf8.size() * 2 + 2);
  for (const char16_t unit : Utf8ToUtf16<char16_t>(utf8)) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  out.push_back(0);  // the terminating NUL, as regedit stores it
  out.push_back(0);
  return out;
}

bool NamesEqual(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[j]);
    if (ca < 0x80 && cb < 0x80) {  // the usual all-ASCII names take no decoding
      if (LowerCaseCodePoint(ca) != LowerCaseCodePoint(cb)) return false;
      ++i;
      ++j;
      continue;
    }
    if (LowerCaseCodePoint(NextCodePoint(a, i)) != LowerCaseCodePoint(NextCodePoint(b, j)))
      return false;
  }
  return i == a.size() && j == b.size();
}

std::string FoldName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  std::size_t pos = 0;
  while (pos < name.size()) {
    const auto c = static_cast<unsigned char>(name[pos]);
    if (c < 0x80) {
      out += static_cast<char>(LowerCaseCodePoint(c));
      ++pos;
    } else {
      AppendUtf8(out, LowerCaseCodePoint(NextCodePoint(name, pos)));
    }
  }
  return out;
}

ParseResult Parse(std::string_view bytes) {
  ParseResult result;
  std::string decoded;
  std::string_view text = bytes;
  bool damaged = false;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    decoded = DecodeUtf16Le(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2,
                            bytes.size() - 2, false, &damaged);
    text = decoded;
    if (damaged) result.problems.push_back("line 1: malformed UTF-16");
  } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }

  const Lines lines(text);
  std::size_t n = 0;
  while (n < lines.items.size() && Trim(lines.items[n]).empty()) ++n;
  if (n == lines.items.size()) {
    // An empty store holds nothing that could be lost.
    if (damaged) result.status = ParseStatus::Damaged;
    return result;
  }
  if (Trim(lines.items[n]) != kHeader) {
    result.status = ParseStatus::Unreadable;
    result.problems.push_back("line " + std::to_string(n + 1) + ": not a registry file header");
    return result;
  }

  Key* current = nullptr;
  // Folded names of the keys and of each key's values, so repeated lines merge in linear time.
  std::unordered_map<std::string, std::size_t> key_index;
  std::vector<std::unordered_map<std::string, std::size_t>> value_index;
  std::unordered_map<std::string, std::size_t>* current_values = nullptr;
  auto problem = [&](std::size_t line_index, const char* what) {
    damaged = true;
    result.problems.push_back("line " + std::to_string(line_index + 1) + ": " + what);
  };
  for (++n; n < lines.items.size(); ++n) {
    const std::size_t first_line = n;
    std::string_view line = Trim(lines.items[n]);
    if (line.empty() || line.front() == ';') continue;
    if (!IsValidUtf8(line)) {
      problem(n, "not UTF-8 text");
      continue;
    }
    if (line.front() == '[') {
      if (line.size() < 3 || line.back() != ']') {
        problem(n, "malformed key line");
        current = nullptr;
        continue;
      }
      const std::string_view path = line.substr(1, line.size() - 2);
      const auto [found, added] =
          key_index.try_emplace(FoldName(path), result.document.keys.size());
      if (added) {
        result.document.keys.push_back(Key{std::string(path), {}});
        value_index.emplace_back();
      }
      current = &result.document.keys[found->second];
      current_values = &value_index[found->second];
      continue;
    }
    if (line.front() != '"' && line.front() != '@') {
      problem(n, "unknown line");
      continue;
    }
    if (current == nullptr) {
      problem(n, "value outside a key");
      continue;
    }
    Value value;
    std::size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else {
      auto name = ReadQuoted(line, pos);
      if (!name) {
        problem(n, "unterminated value name");
        continue;
      }
      value.name = std::move(*name);
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') {
      problem(n, "missing '='");
      continue;
    }
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    std::string_view data = line.substr(pos);
    if (!data.empty() && data.front() == '"') {
      std::size_t end = 0;
      auto text_value = ReadQuoted(data, end);
      if (!text_value || end != data.size()) {
        problem(n, "malformed string");
        continue;
      }
      value.form = Value::Form::String;
      value.text = std::move(*text_value);
    } else if (StartsWithNoCase(data, "dword:")) {
      data.remove_prefix(6);
      bool ok = data.size() == 8;
      std::uint32_t number = 0;
      for (char c : data) {
        const int d = HexDigit(c);
        ok = ok && d >= 0;
        number = (number << 4) | static_cast<std::uint32_t>(d < 0 ? 0 : d);
      }
      if (!ok) {
        problem(n, "malformed dword");
        continue;
      }
      value.form = Value::Form::Dword;
      value.number = number;
    } else if (StartsWithNoCase(data, "hex")) {
      data.remove_prefix(3);
      std::uint32_t type = 3;
      if (!data.empty() && data.front() == '(') {
        const std::size_t close = data.find(')');
        const std::string_view digits =
            data.substr(1, close == std::string_view::npos ? 0 : close - 1);
        bool ok = close != std::string_view::npos && !digits.empty() && digits.size() <= 8;
        type = 0;
        for (char c : digits) {
          ok = ok && HexDigit(c) >= 0;
          type = (type << 4) | static_cast<std::uint32_t>(ok ? HexDigit(c) : 0);
        }
        if (!ok) {
          problem(n, "malformed hex type");
          continue;
        }
        data.remove_prefix(close + 1);
      }
      if (data.empty() || data.front() != ':') {
        problem(n, "malformed hex value");
        continue;
      }
      data.remove_prefix(1);
      std::string joined(data);
      bool truncated = false;
      while (!joined.empty() && joined.back() == '\\') {
        joined.pop_back();
        if (n + 1 >= lines.items.size()) {
          truncated = true;
          break;
        }
        joined += Trim(lines.items[++n]);
      }
      auto bytes_value = truncated ? std::nullopt : ReadHexBytes(joined);
      if (!bytes_value) {
        problem(first_line, truncated ? "hex data cut off" : "malformed hex data");
        continue;
      }
      value.form = Value::Form::Hex;
      value.hex_type = type;
      value.bytes = std::move(*bytes_value);
    } else {
      problem(n, "unknown value type");
      continue;
    }
    const auto [slot, added] =
        current_values->try_emplace(FoldName(value.name), current->values.size());
    if (added) {
      current->values.push_back(std::move(value));
    } else {
      // As an import of the file would: the later line wins, the earlier place and name stay.
      Value& existing = current->values[slot->second];
      value.name = std::move(existing.name);
      existing = std::move(value);
    }
  }
  if (damaged) result.status = ParseStatus::Damaged;
  return result;
}

std::string Write(const Document& document) {
  std::string out;
  out += kHeader;
  out += "\n\n";
  for (const Key& key : document.keys) {
    out += '[';
    out += key.path;
    out += "]\n";
    for (const Value& value : key.values) {
      const std::size_t line_start = out.size();
      if (value.name.empty()) {
        out += '@';
      } else {
        out += '"';
        out += Escape(value.name);
        out += '"';
      }
      out += '=';
      switch (value.form) {
        case Value::Form::String:
          out += '"';
          out += Escape(value.text);
          out += '"';
          break;
        case Value::Form::Dword: {
          static constexpr char kDigits[] = "0123456789abcdef";
          out += "dword:";
          for (int shift = 28; shift >= 0; shift -= 4)
            out += kDigits[(value.number >> shift) & 0xF];
          break;
        }
        case Value::Form::Hex: {
          if (value.hex_type == 3) {
            out += "hex:";
          } else {
            char type[16];
            std::snprintf(type, sizeof type, "hex(%x):", value.hex_type);
            out += type;
          }
          WriteHex(out, out.size() - line_start, value.bytes);
          break;
        }
      }
      out += '\n';
    }
    out += '\n';
  }
  return out;
}

}  // namespace nurv::platform::regfile
