// SPDX-License-Identifier: MIT
#include "host/registry_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace kestrel {
namespace {

constexpr std::string_view kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00";

RegistryHive ParseOk(std::string_view text) {
  RegistryParseError error;
  std::optional<RegistryHive> hive = ParseRegistryFile(text, &error);
  EXPECT_TRUE(hive.has_value()) << "line " << error.line << ": " << error.message;
  return hive ? std::move(*hive) : RegistryHive();
}

// The value's data, or "<missing>".
std::string Value(const RegistryHive& hive, std::string_view key, std::string_view name) {
  const std::string* data = hive.Find(key, name);
  return data ? *data : "<missing>";
}

// UTF-16LE bytes, with the byte-order mark, of UTF-8 text that holds only
// characters of the basic plane plus "\xF0\x9D\x84\x9E" (U+1D11E).
std::string Utf16Le(std::string_view utf8) {
  std::string out = "\xFF\xFE";
  auto unit = [&out](unsigned value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (utf8.substr(i, 4) == "\xF0\x9D\x84\x9E") {
      unit(0xD834);
      unit(0xDD1E);
      i += 4;
    } else if (c < 0x80) {
      unit(c);
      i += 1;
    } else if ((c & 0xE0) == 0xC0) {
      unit(((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F));
      i += 2;
    } else {
      unit(((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F));
      i += 3;
    }
  }
  return out;
}

TEST(RegistryFile, ReadsAnExportWithCrLfCommentsAndEscapes) {
  const RegistryHive hive = ParseOk(
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; the data folder\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\r\n"
      "\"Kestrelplan Path\"=\"D:\\\\Tasks\\\\\"\r\n"
      "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
      "\"Empty\"=\"\"\r\n"
      "@=\"default\"\r\n"
      "  \"Spaced\" = \"  kept  \"  \r\n"
      "\"a\\\\b\"=\"name with a backslash\"\r\n");
  EXPECT_EQ(Value(hive, kKey, "Kestrelplan Path"), "D:\\Tasks\\");
  EXPECT_EQ(Value(hive, kKey, "Quoted"), "say \"hi\"");
  EXPECT_EQ(Value(hive, kKey, "Empty"), "");
  EXPECT_EQ(Value(hive, kKey, ""), "default");
  EXPECT_EQ(Value(hive, kKey, "Spaced"), "  kept  ");
  EXPECT_EQ(Value(hive, kKey, "a\\b"), "name with a backslash");
  EXPECT_EQ(Value(hive, kKey, "; the data folder"), "<missing>");
}

TEST(RegistryFile, AcceptsBothHeadersAndAUtf8ByteOrderMark) {
  for (std::string_view header : {"REGEDIT4\n", "Windows Registry Editor Version 5.00\n",
                                  "\xEF\xBB\xBFREGEDIT4\n", "REGEDIT4  \r\n"}) {
    const RegistryHive hive =
        ParseOk(std::string(header) + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"\xC3\xA9t\xC3\xA9\"");
    EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\A", "v"), "\xC3\xA9t\xC3\xA9") << header;
  }
}

TEST(RegistryFile, ConvertsUtf16LeToUtf8) {
  const std::string text = Utf16Le(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\r\n"
      "\"Kestrelplan Path\"=\"C:\\\\Aufgaben f\xC3\xBCr \xE2\x82\xAC \xF0\x9D\x84\x9E\"\r\n");
  const RegistryHive hive = ParseOk(text);
  EXPECT_EQ(Value(hive, kKey, "Kestrelplan Path"),
            "C:\\Aufgaben f\xC3\xBCr \xE2\x82\xAC \xF0\x9D\x84\x9E");
}

TEST(RegistryFile, MatchesKeysAndValueNamesIgnoringCase) {
  const RegistryHive hive = ParseOk(
      "REGEDIT4\n"
      "[hkey_local_machine\\Software\\NORVANE\\kestrelplan\\1.00]\n"
      "\"KESTRELPLAN PATH\"=\"first\"\n"
      "[HKLM\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n"
      "\"Other\"=\"merged\"\n"
      "\"kestrelplan path\"=\"second\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\xC3\x84]\n"
      "\"v\"=\"x\"\n");
  EXPECT_EQ(Value(hive, kKey, "Kestrelplan Path"), "second");
  EXPECT_EQ(Value(hive, kKey, "other"), "merged");
  EXPECT_EQ(Value(hive, "hklm\\software\\norvane\\kestrelplan\\1.00", "OTHER"), "merged");
  // Folding is ASCII only, as the registry's own for these characters is not ours to guess.
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\SOFTWARE\\\xC3\x84", "V"), "x");
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\SOFTWARE\\\xC3\xA4", "v"), "<missing>");
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan", "Other"),
            "<missing>");
}

TEST(RegistryFile, OtherValueTypesAreCheckedButNotKept) {
  const RegistryHive hive = ParseOk(
      "Windows Registry Editor Version 5.00\n"
      "[HKEY_LOCAL_MACHINE\\K]\n"
      "\"Count\"=dword:0000002a\n"
      "\"Blob\"=hex:00,01,ff\n"
      "\"NoBytes\"=hex:\n"
      "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,\\\n"
      "  50,00,25,00,00,00\n"
      "\"Multi\"=HEX(7):\\\n"
      "  61,00,\\\n"
      "  00,00\n"
      "\"Replaced\"=\"a string first\"\n"
      "\"Replaced\"=dword:1\n"
      "\"After\"=\"still read\"\n");
  for (std::string_view name : {"Count", "Blob", "NoBytes", "Expand", "Multi", "Replaced"}) {
    EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\K", name), "<missing>") << name;
  }
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\K", "After"), "still read");
}

TEST(RegistryFile, RemovesKeysWithTheirSubkeysAndValues) {
  const RegistryHive hive = ParseOk(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"a\"\n\"w\"=\"a\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\Sub]\n\"v\"=\"sub\"\n"
      "[HKEY_LOCAL_MACHINE\\A x]\n\"v\"=\"sibling\"\n"
      "[HKEY_LOCAL_MACHINE\\AB]\n\"v\"=\"sibling\"\n"
      "[HKEY_LOCAL_MACHINE\\Keep]\n\"v\"=\"keep\"\n\"gone\"=\"x\"\n\"gone\"=-\n"
      "[-hklm\\a]\n"
      "[HKEY_LOCAL_MACHINE\\A]\n\"w\"=\"again\"\n");
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\A", "v"), "<missing>");
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\A", "w"), "again");
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\A\\Sub", "v"), "<missing>");
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\A x", "v"), "sibling");
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\AB", "v"), "sibling");
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\Keep", "v"), "keep");
  EXPECT_EQ(Value(hive, "HKEY_LOCAL_MACHINE\\Keep", "gone"), "<missing>");
}

struct MalformedCase {
  std::string text;
  int line;
  std::string message;
};

TEST(RegistryFile, RefusesMalformedFilesNamingTheLine) {
  const std::string h = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n";  // lines 1 and 2
  const std::string notRegistry =
      "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" or "
      "\"REGEDIT4\"";
  const std::string unknownType =
      "unknown value type: expected a quoted string, -, dword:, hex: or hex(N):";
  const MalformedCase cases[] = {
      {"", 1, notRegistry},
      {"\n[HKEY_LOCAL_MACHINE\\K]\n", 1, notRegistry},
      {"REGEDIT5\n", 1, notRegistry},
      {"regedit4\n", 1, notRegistry},
      {"Windows Registry Editor Version 5.0\n", 1, notRegistry},
      {"REGEDIT4\n\"v\"=\"x\"\n", 2, "value line outside a [key] section"},
      {"REGEDIT4\n\n; c\n@=\"x\"\n", 4, "value line outside a [key] section"},
      {"REGEDIT4\n[-HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"x\"\n", 3,
       "value line outside a [key] section"},
      {h + "\"v\"=\"x\n", 3, "unterminated string"},
      {h + "\"v\"=\"x\\\"\n", 3, "unterminated string"},
      {h + "\"v=\"x\"\n", 3, "expected \"=\" after the value name"},
      {h + "\"v\n", 3, "unterminated string"},
      {h + "\"v\"=\"a\\nb\"\n", 3, "bad escape in a string: only \\\\ and \\\" are allowed"},
      {h + "\"v\\t\"=\"x\"\n", 3, "bad escape in a string: only \\\\ and \\\" are allowed"},
      {h + "\"v\"\"x\"\n", 3, "expected \"=\" after the value name"},
      {h + "\"v\"\n", 3, "expected \"=\" after the value name"},
      {h + "@\n", 3, "expected \"=\" after the value name"},
      {h + "\"v\"=\"x\" \"y\"\n", 3, "unexpected text after the value"},
      {h + "\"v\"=\"x\" ; note\n", 3, "unexpected text after the value"},
      {h + "v=\"x\"\n", 3, "expected a [key] line or a \"name\"=value line"},
      {h + "\"v\"=\n", 3, unknownType},
      {h + "\"v\"=x\n", 3, unknownType},
      {h + "\"v\"=qword:1\n", 3, unknownType},
      {h + "\"v\"=hex():00\n", 3, unknownType},
      {h + "\"v\"=hex(123456789):00\n", 3, unknownType},
      {h + "\"v\"=--\n", 3, unknownType},
      {h + "\"v\"=dword:\n", 3, "bad dword value: expected 1 to 8 hex digits"},
      {h + "\"v\"=dword:123456789\n", 3, "bad dword value: expected 1 to 8 hex digits"},
      {h + "\"v\"=dword:0x10\n", 3, "bad dword value: expected 1 to 8 hex digits"},
      {h + "\"v\"=hex:0\n", 3, "bad hex value: expected two-digit hex bytes separated by commas"},
      {h + "\"v\"=hex:0g\n", 3, "bad hex value: expected two-digit hex bytes separated by commas"},
      {h + "\"v\"=hex:001\n", 3, "bad hex value: expected two-digit hex bytes separated by commas"},
      {h + "\"v\"=hex:00 01\n", 3, "bad hex value: expected a comma between bytes"},
      {h + "\"v\"=hex:,00\n", 3, "bad hex value: misplaced comma"},
      {h + "\"v\"=hex:00,,01\n", 3, "bad hex value: misplaced comma"},
      {h + "\"v\"=hex:00,01,\n", 3, "bad hex value: ends with a comma"},
      {h + "\"v\"=hex:00,\\\n  01,\\\n  0x\n", 5,
       "bad hex value: expected two-digit hex bytes separated by commas"},
      {h + "\"v\"=hex:00\\\n  01\n", 4, "bad hex value: expected a comma between bytes"},
      {h + "\"v\"=hex:00,\\\n", 3, "file ends inside a continued hex value"},
      {h + "\"v\"=hex:00,\\\n  01,\\", 4, "file ends inside a continued hex value"},
      {h + "[HKEY_LOCAL_MACHINE\\K\n", 3, "key line without a closing \"]\""},
      {h + "[\n", 3, "key line without a closing \"]\""},
      {h + "[HKEY_LOCAL_MACHINE\\K] ; c\n", 3, "key line without a closing \"]\""},
      {h + "[]\n", 3, "empty key path"},
      {h + "[-]\n", 3, "empty key path"},
      {h + "[SOFTWARE\\Norvane]\n", 3,
       "key path does not begin with a root key such as HKEY_LOCAL_MACHINE"},
      {h + "[\\HKEY_LOCAL_MACHINE]\n", 3,
       "key path does not begin with a root key such as HKEY_LOCAL_MACHINE"},
      {h + "[HKEY_LOCAL_MACHINE\\]\n", 3, "key path with an empty key name"},
      {h + "[HKEY_LOCAL_MACHINE\\\\K]\n", 3, "key path with an empty key name"},
      {h + "\n\n\"ok\"=\"1\"\r\n\"bad\"=\"2\r\n", 6, "unterminated string"},
      {"\xFF\xFE"
       "R",
       0, "UTF-16 text with an odd number of bytes"},
      {"\xFE\xFF" + std::string("\0R", 2), 0,
       "UTF-16 big-endian text is not supported; save the file as UTF-16LE or UTF-8"},
      {Utf16Le("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"v\"=\"") + std::string("\x00\xD8", 2) +
           Utf16Le("\"").substr(2),
       3, "invalid UTF-16 text: unpaired surrogate"},
      {Utf16Le("REGEDIT4\n") + std::string("\x00\xDC", 2), 2,
       "invalid UTF-16 text: unpaired surrogate"},
      {Utf16Le("REGEDIT4\n") + std::string("\x00\xD8", 2), 2,
       "invalid UTF-16 text: unpaired surrogate"},
      {Utf16Le("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"x\n"), 3, "unterminated string"},
      // A UTF-16 file that lost its byte-order mark reads as bytes and is no registry file.
      {Utf16Le("REGEDIT4\n").substr(2), 1, notRegistry},
  };
  for (const MalformedCase& c : cases) {
    RegistryParseError error;
    EXPECT_FALSE(ParseRegistryFile(c.text, &error).has_value()) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_EQ(error.message, c.message) << c.text;
  }
}

TEST(RegistryFile, AnErrorNeedsNoErrorBlock) {
  EXPECT_FALSE(ParseRegistryFile("REGEDIT4\n\"v\"=\"x\"\n", nullptr).has_value());
  EXPECT_TRUE(ParseRegistryFile("REGEDIT4\n", nullptr).has_value());
}

// Every cut of a good file either parses or names a line that is inside the
// cut: nothing past the end of the input is ever looked at (the sanitizer
// build turns a read past it into a failure).
TEST(RegistryFile, EveryTruncationIsParsedOrRefusedWithinTheInput) {
  const std::string utf8 =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"s\"=\"a\\\\b\\\"c\"\r\n"
      "@=dword:00000001\r\n"
      "\"h\"=hex(2):41,00,\\\r\n  00,00\r\n"
      "[-HKEY_LOCAL_MACHINE\\K\\Sub]\r\n";
  for (const std::string& whole : {utf8, Utf16Le(utf8.substr(3))}) {
    for (std::size_t length = 0; length <= whole.size(); ++length) {
      // A copy of exactly `length` bytes, so a read past it is a heap overflow.
      const std::string cut = whole.substr(0, length);
      RegistryParseError error;
      if (!ParseRegistryFile(cut, &error)) {
        EXPECT_GE(error.line, 0) << length;
        EXPECT_LE(error.line, 8) << length;
        EXPECT_FALSE(error.message.empty()) << length;
      }
    }
  }
}

}  // namespace
}  // namespace kestrel
