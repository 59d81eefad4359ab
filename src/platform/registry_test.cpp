#include "platform/registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "testing/temp_databases.h"

namespace platform {
namespace {

const char kKey[] = "HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options";

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

const char kExport[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options]\r\n"
    "\"Velkarys.ConnDBLocale.ConnectionString\"=\"Provider=SQLite;Data Source=C:\\\\shop\\\\back.db;\"\r\n"
    "\"IdCassa\"=dword:0000000a\r\n"
    "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
    "\"Binary\"=hex:01,02,03\r\n"
    "\"Expand\"=hex(2):25,00,00,00\r\n"
    "\"WithNul\"=hex(1):41,00,42,00,00,00\r\n"
    "\"TwoNuls\"=hex(1):41,00,00,00,00,00\r\n"
    "\"WithoutNul\"=hex(1):41,00,\\\r\n"
    "  42,00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\options]\r\n"
    "\"Velkarissysprocesses\"=\"0\"\r\n";

TEST(Registry, ReadsTextAndNumbersOfAnExportWithoutRegardToCase) {
  for (const std::string& content : {std::string(kExport), Utf16(kExport), "\xEF\xBB\xBF" + std::string(kExport)}) {
    Registry r = Registry::Parse(content);
    auto cs = r.Get("hkey_current_user\\software\\korv\\arn\\OPTIONS", "velkarys.connDBlocale.connectionstring");
    ASSERT_TRUE(cs.has_value());
    EXPECT_EQ(cs->type, RegistryValue::kText);
    EXPECT_EQ(cs->text, "Provider=SQLite;Data Source=C:\\shop\\back.db;");
    auto till = r.Get(kKey, "IdCassa");
    ASSERT_TRUE(till.has_value());
    EXPECT_EQ(till->type, RegistryValue::kDword);
    EXPECT_EQ(till->dword, 10u);
    EXPECT_EQ(r.Get(kKey, "Quoted")->text, "say \"hi\"");
    EXPECT_EQ(r.Get(kKey, "Binary")->type, RegistryValue::kOther);
    EXPECT_EQ(r.Get(kKey, "Expand")->type, RegistryValue::kOther);
    // A string stored with its terminating NUL and one without read back the same.
    EXPECT_EQ(r.Get(kKey, "WithNul")->text, "AB");
    EXPECT_EQ(r.Get(kKey, "WithoutNul")->text, "AB");
    EXPECT_EQ(r.Get(kKey, "TwoNuls")->text, std::string("A\0", 2));  // one NUL is dropped, not every one
    // "Options" and "options" are one key.
    EXPECT_EQ(r.Get(kKey, "Velkarissysprocesses")->text, "0");
    EXPECT_FALSE(r.Get(kKey, "Missing").has_value());
    EXPECT_FALSE(r.Get("HKEY_CURRENT_USER\\SOFTWARE\\Other", "IdCassa").has_value());
  }
}

TEST(Registry, LoadTellsWhetherTheFileWasThere) {
  testing_support::TempDir dir;
  Registry missing = Registry::Load(dir.File("none.reg"));
  EXPECT_FALSE(missing.loaded());
  EXPECT_EQ(missing.source(), dir.File("none.reg"));
  std::ofstream(dir.File("r.reg"), std::ios::binary) << kExport;
  Registry r = Registry::Load(dir.File("r.reg"));
  EXPECT_TRUE(r.loaded());
  EXPECT_EQ(r.Get(kKey, "IdCassa")->dword, 10u);
  EXPECT_EQ(RootKeyName("-2147483647"), "HKEY_CURRENT_USER");
}


TEST(Registry, EveryUtf16AndUtf8FormIsReadAndAnythingElseIsCalledNotAnExport) {
  testing_support::TempDir dir;
  auto load = [&](const std::string& bytes) {
    std::ofstream(dir.File("r.reg"), std::ios::binary | std::ios::trunc) << bytes;
    return Registry::Load(dir.File("r.reg"));
  };
  std::string le = Utf16(kExport);
  std::string be = "\xFE\xFF";
  for (char c : std::string(kExport)) {
    be += '\0';
    be += c;
  }
  const std::vector<std::pair<const char*, std::string>> readable = {
      {"UTF-16LE with BOM", le},       {"UTF-16LE without BOM", le.substr(2)}, {"UTF-16BE with BOM", be},
      {"UTF-16BE without BOM", be.substr(2)}, {"UTF-8 with BOM", "\xEF\xBB\xBF" + std::string(kExport)},
      {"UTF-8", kExport},              {"REGEDIT4", "REGEDIT4\r\n\r\n[" + std::string(kKey) + "]\r\n\"IdCassa\"=dword:0000000a\r\n"}};
  for (const auto& [name, bytes] : readable) {
    Registry r = load(bytes);
    EXPECT_EQ(r.problem(), "") << name;
    ASSERT_TRUE(r.Get(kKey, "IdCassa")) << name;
    EXPECT_EQ(r.Get(kKey, "IdCassa")->dword, 10u) << name;
  }
  for (const auto& [name, bytes] : std::vector<std::pair<const char*, std::string>>{
           {"empty", ""}, {"random bytes", std::string("\x93\x01\xC7\xFFzq\x00\x10", 8)},
           {"an ini file", "[Options]\nIdCassa=1\n"}}) {
    Registry r = load(bytes);
    EXPECT_FALSE(r.loaded()) << name;
    EXPECT_NE(r.problem().find("the file '" + dir.File("r.reg") + "' is not a registry export"), std::string::npos)
        << name << ": " << r.problem();
    EXPECT_NE(r.problem().find("UTF-16 or UTF-8"), std::string::npos) << name;
  }
  EXPECT_NE(Registry::Load(dir.File("none.reg")).problem().find("was not found"), std::string::npos);
}

TEST(Registry, DataThatCannotBeReadIsKeptAsInvalidWithItsText) {
  Registry r = Registry::Parse("Windows Registry Editor Version 5.00\r\n[" + std::string(kKey) +
                               "]\r\n\"IdCassa\"=dword:zz\r\n\"Big\"=dword:123456789\r\n\"Open\"=\"no end\r\n");
  for (const char* name : {"IdCassa", "Big", "Open"}) {
    ASSERT_TRUE(r.Get(kKey, name)) << name;
    EXPECT_EQ(r.Get(kKey, name)->type, RegistryValue::kInvalid) << name;
  }
  EXPECT_EQ(r.Get(kKey, "IdCassa")->text, "dword:zz");
}

}  // namespace
}  // namespace platform
