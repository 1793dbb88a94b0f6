#include "gui/postscript/postscript_string.h"

#include <cstdint>

namespace nimbra {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }

void AppendUtf16Unit(std::string& out, std::uint16_t unit) {
  out += kHexDigits[(unit >> 12) & 0xF];
  out += kHexDigits[(unit >> 8) & 0xF];
  out += kHexDigits[(unit >> 4) & 0xF];
  out += kHexDigits[unit & 0xF];
}

}  // namespace

std::string PostScriptString(std::string_view value) {
  std::string out = "(";
  out.reserve(value.size() + 2);
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': case '(': case ')': case '[': case ']': case '{': case '}':
        out += '\\';
        out += c;
        break;
      case '\r':
        break;
      case '\n':
        out += ") (";
        break;
      default:
        if (byte > 127) {
          out += '\\';
          out += static_cast<char>('0' + ((byte >> 6) & 7));
          out += static_cast<char>('0' + ((byte >> 3) & 7));
          out += static_cast<char>('0' + (byte & 7));
        } else {
          out += c;
        }
    }
  }
  out += ')';
  return out;
}

std::string DecodePostScriptString(std::string_view literal) {
  if (literal.size() >= 2 && literal.front() == '(' && literal.back() == ')') {
    literal = literal.substr(1, literal.size() - 2);
  }
  std::string out;
  out.reserve(literal.size());
  for (std::size_t i = 0; i < literal.size(); ++i) {
    const char c = literal[i];
    if (c != '\\' || i + 1 >= literal.size()) {
      if (c != '\\') out += c;
      continue;
    }
    const char e = literal[++i];
    switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case '\r':  // a backslash before a line end continues the line
        if (i + 1 < literal.size() && literal[i + 1] == '\n') ++i;
        break;
      case '\n':
        break;
      default:
        if (IsOctalDigit(e)) {
          int code = e - '0';
          for (int n = 1; n < 3 && i + 1 < literal.size() && IsOctalDigit(literal[i + 1]); ++n) {
            code = code * 8 + (literal[++i] - '0');
          }
          out += static_cast<char>(code & 0xFF);
        } else {
          out += e;  // \\ \( \) and unknown escapes keep the character
        }
    }
  }
  return out;
}

std::string DecodeDscText(std::string_view value) {
  const std::string trimmed = Trim(value);
  if (trimmed.size() < 2 || trimmed.front() != '(' || trimmed.back() != ')') return trimmed;
  // One string only: the closing parenthesis at the end must balance the opening one.
  int depth = 0;
  for (std::size_t i = 0; i < trimmed.size(); ++i) {
    const char c = trimmed[i];
    if (c == '\\') {
      ++i;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0 && i + 1 != trimmed.size()) return trimmed;
    }
  }
  if (depth != 0) return trimmed;
  return DecodePostScriptString(trimmed);
}

bool IsPlainAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 127) return false;
  }
  return true;
}

std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int length = 0;
    char32_t code = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    }
    bool valid = length > 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not valid UTF-8.
    if (valid && ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
                  (code >= 0xD800 && code <= 0xDFFF))) {
      valid = false;
    }
    if (!valid) {
      out += static_cast<char32_t>(lead);
      ++i;
      continue;
    }
    out += code;
    i += static_cast<std::size_t>(length);
  }
  return out;
}

std::string PdfTextString(std::string_view text) {
  if (IsPlainAscii(text)) return PostScriptString(text);
  std::string out = "<FEFF";
  for (const char32_t code : DecodeUtf8(text)) {
    if (code >= 0x10000) {
      const char32_t v = code - 0x10000;
      AppendUtf16Unit(out, static_cast<std::uint16_t>(0xD800 + (v >> 10)));
      AppendUtf16Unit(out, static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      AppendUtf16Unit(out, static_cast<std::uint16_t>(code));
    }
  }
  out += '>';
  return out;
}

}  // namespace nimbra
