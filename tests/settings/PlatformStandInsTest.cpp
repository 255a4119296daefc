// The platform calls the settings code relies on: GUID text, the run list's
// registry calls, the executable path and case-insensitive text comparison.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/module.h"
#include "platform/registry.h"
#include "platform/textcase.h"
#include "platform/uuidtext.h"
#include "tests/settings/SettingsFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run";

TEST(UuidText, ToStringGivesLowerCaseTextThatParsesBack) {
  const UUID id{0xA1B2C3D4, 0x0E0F, 0xFFFF, {0x00, 0x01, 0xAB, 0xCD, 0xEF, 0x10, 0x20, 0x30}};
  RPC_CSTR text = nullptr;
  ASSERT_EQ(UuidToStringA(&id, &text), RPC_S_OK);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(text), "a1b2c3d4-0e0f-ffff-0001-abcdef102030");
  UUID back{};
  EXPECT_EQ(UuidFromStringA(text, &back), RPC_S_OK);
  EXPECT_EQ(back, id);
  EXPECT_EQ(RpcStringFreeA(&text), RPC_S_OK);
  EXPECT_EQ(text, nullptr);
}

TEST(UuidText, ParsingIsStrictAndLeavesTheTargetOnFailure) {
  const char* bad[] = {"", "a1b2c3d4-0e0f-ffff-0001-abcdef10203", "a1b2c3d4-0e0f-ffff-0001-abcdef1020300",
                       "a1b2c3d40-e0f-ffff-0001-abcdef102030", "a1b2c3d4-0e0f-ffff-0001-abcdef10203g",
                       "+1b2c3d4-0e0f-ffff-0001-abcdef102030", "{1b2c3d4-0e0f-ffff-0001-abcdef10203}"};
  for (const char* text : bad) {
    UUID target{7, 7, 7, {7, 7, 7, 7, 7, 7, 7, 7}};
    const UUID before = target;
    std::string copy(text);
    EXPECT_EQ(UuidFromStringA(reinterpret_cast<RPC_CSTR>(copy.data()), &target), RPC_S_INVALID_STRING_UUID) << text;
    EXPECT_EQ(target, before) << text;
  }
  std::string upper = "A1B2C3D4-0E0F-FFFF-0001-ABCDEF102030";
  UUID parsed{};
  EXPECT_EQ(UuidFromStringA(reinterpret_cast<RPC_CSTR>(upper.data()), &parsed), RPC_S_OK);
  EXPECT_EQ(parsed.Data1, 0xA1B2C3D4u);
  EXPECT_EQ(parsed.Data4[7], 0x30);
}

TEST(TextCase, ComparesMultiByteTextWithoutCase) {
  EXPECT_EQ(Utf8CompareNoCase("Aerlume", "aERLUME"), 0);
  EXPECT_EQ(Utf8CompareNoCase("\xC3\x84rger.exe", "\xC3\xA4RGER.EXE"), 0);          // Ä / ä
  EXPECT_EQ(Utf8CompareNoCase("\xD0\x9F\xD0\xA0\xD0\x9E", "\xD0\xBF\xD1\x80\xD0\xBE"), 0);  // ПРО / про
  EXPECT_NE(Utf8CompareNoCase("\xC3\x84", "\xC3\xA5"), 0);                           // Ä / å
  EXPECT_NE(Utf8CompareNoCase("prog", "prog.exe"), 0);
  EXPECT_LT(Utf8CompareNoCase("a", "B"), 0);
  // Malformed bytes are compared as bytes, not through a replacement character.
  EXPECT_NE(Utf8CompareNoCase("\xFF" "x", "\xFE" "x"), 0);
  EXPECT_EQ(Utf8CompareNoCase("\xFF" "ABC", "\xFF" "abc"), 0);
}

TEST(ModuleFileName, ReportsTheExecutableAndMarksTruncation) {
  const std::string own = fs::read_symlink("/proc/self/exe").string();
  std::vector<char> buffer(own.size() + 1);
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())), own.size());
  EXPECT_EQ(std::string(buffer.data()), own);
  // One character short: cut, terminated, and the full size returned.
  const DWORD small = static_cast<DWORD>(own.size());
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), small), small);
  EXPECT_EQ(std::string(buffer.data()), own.substr(0, own.size() - 1));
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), 0), 0u);
}

class RunListKeyTest : public SettingsFixture {
 protected:
  HKEY Open(REGSAM access = KEY_READ | KEY_WRITE) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, access, &key), ERROR_SUCCESS);
    return key;
  }
  static LSTATUS Set(HKEY key, const char* name, const std::string& data) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1));
  }
};

TEST_F(RunListKeyTest, DataThatNeedsEscapingReadsBackExactly) {
  const std::string samples[] = {
      "\"/opt/my app/bin/aerlume\" --tray",
      "  leading and trailing  ",
      "back\\slash\\\\double \\s literal",
      "tab\there\nnew line\r",
      "/opt/\xC3\xA9t\xC3\xA9/aerlume %u",
      "",
  };
  HKEY key = Open();
  ASSERT_NE(key, nullptr);
  int n = 0;
  for (const std::string& data : samples) {
    const std::string name = "v" + std::to_string(n++);
    ASSERT_EQ(Set(key, name.c_str(), data), ERROR_SUCCESS);
    char buffer[512];
    DWORD bytes = sizeof(buffer);
    DWORD type = REG_NONE;
    ASSERT_EQ(RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(bytes, data.size() + 1);
    EXPECT_EQ(std::string(buffer), data);
  }
  // Every written file is one entry of four lines: nothing the data held
  // broke out of its Exec line.
  for (const auto& entry : fs::directory_iterator(RunDir())) {
    std::ifstream in(entry.path());
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    EXPECT_EQ(lines, 4) << entry.path();
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RunListKeyTest, EnumerationFollowsFileNameOrderAndReportsSizes) {
  AddEntry("b", "/usr/bin/b");
  AddEntry("A", "/usr/bin/a-longer-path");
  AddEntry("10", "/usr/bin/ten");
  std::ofstream(RunDir() + "/notes.txt") << "not an entry";
  HKEY key = Open(KEY_READ);
  ASSERT_NE(key, nullptr);

  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[64];
    DWORD chars = sizeof(name);
    BYTE data[64];
    DWORD bytes = sizeof(data);
    const LSTATUS status = RegEnumValueA(key, index, name, &chars, nullptr, nullptr, data, &bytes);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(status, ERROR_SUCCESS);
    EXPECT_EQ(chars, std::strlen(name));
    EXPECT_EQ(bytes, std::strlen(reinterpret_cast<char*>(data)) + 1);
    names.emplace_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"10", "A", "b"}));

  // Too small a data buffer: ERROR_MORE_DATA with the size needed, buffers untouched.
  char name[64] = "untouched";
  DWORD chars = sizeof(name);
  BYTE data[4] = {'x', 'x', 'x', 0};
  DWORD bytes = sizeof(data);
  EXPECT_EQ(RegEnumValueA(key, 1, name, &chars, nullptr, nullptr, data, &bytes), ERROR_MORE_DATA);
  EXPECT_EQ(bytes, std::strlen("/usr/bin/a-longer-path") + 1);
  EXPECT_STREQ(name, "untouched");
  EXPECT_EQ(data[0], 'x');
  // A read-only key cannot change values.
  EXPECT_EQ(Set(key, "c", "/usr/bin/c"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(key, "b"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(RunListKeyTest, ValueNamesMatchWithoutCase) {
  AddEntry("Aerlume", "/usr/bin/old");
  HKEY key = Open();
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(Set(key, "AERLUME", "/usr/bin/new"), ERROR_SUCCESS);
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.at("Aerlume"), "/usr/bin/new");
  EXPECT_EQ(RegDeleteValueA(key, "aerlume"), ERROR_SUCCESS);
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(RegDeleteValueA(key, "aerlume"), ERROR_FILE_NOT_FOUND);
  DWORD bytes = 0;
  EXPECT_EQ(RegQueryValueExA(key, "aerlume", nullptr, nullptr, nullptr, &bytes), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Set(key, "a/b", "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Set(key, "", "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RunListKeyTest, OnlyTheRunKeyOpensAndOnlyWhenItsFolderIsUsable) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  // Registry paths are not case-sensitive.
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion\\POLICIES\\explorer\\run",
                          0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  ASSERT_EQ(chmod(RunDir().c_str(), 0555), 0);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ | KEY_WRITE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key), ERROR_SUCCESS);  // reading is allowed
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // A folder not made yet: nothing to read, but it opens for writing, and
  // opening alone does not create it.
  ASSERT_EQ(chmod(RunDir().c_str(), 0755), 0);
  fs::remove_all(RunDir());
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ | KEY_WRITE, &key), ERROR_SUCCESS);
  char name[16];
  DWORD chars = sizeof(name);
  EXPECT_EQ(RegEnumValueA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_FALSE(fs::exists(RunDir()));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// The user's own autostart folder: $XDG_CONFIG_HOME/autostart when that is
// an absolute path, else ~/.config/autostart; never the machine-wide one.
TEST_F(RunListKeyTest, RunListFolderIsTheUsersConfigHome) {
  const fs::path home = fs::path(Root()) / "home";
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", home.c_str(), 1);
  for (const auto& [where, name] : {std::pair{home / ".config" / "autostart", "in-home"},
                                    std::pair{fs::path(Root()) / "machine" / "autostart", "machine"}}) {
    fs::create_directories(where);
    std::ofstream(where / (std::string(name) + ".desktop")) << "[Desktop Entry]\nExec=/usr/bin/x\n";
  }
  AddEntry("in-config-home", "/usr/bin/y");
  struct Case {
    const char* label;
    const char* configHome;  // null: unset
    const char* expected;
  };
  const std::string configHome = XdgDir();
  const Case cases[] = {
      {"absolute XDG_CONFIG_HOME", configHome.c_str(), "in-config-home"},
      {"relative XDG_CONFIG_HOME is ignored", "relative/config", "in-home"},
      {"empty XDG_CONFIG_HOME", "", "in-home"},
      {"unset XDG_CONFIG_HOME", nullptr, "in-home"},
  };
  for (const Case& c : cases) {
    if (c.configHome)
      setenv("XDG_CONFIG_HOME", c.configHome, 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    HKEY key = Open(KEY_READ);
    ASSERT_NE(key, nullptr) << c.label;
    char name[32];
    DWORD chars = sizeof(name);
    ASSERT_EQ(RegEnumValueA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS) << c.label;
    EXPECT_STREQ(name, c.expected) << c.label;
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  }
  setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
  setenv("HOME", savedHome.c_str(), 1);
}

// What the program writes is a valid desktop entry whose Exec runs the path,
// quoted where the desktop-entry rules ask for it.
TEST_F(RunListKeyTest, WrittenEntriesAreValidDesktopEntries) {
  if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "desktop-file-validate is not installed";
  struct Case {
    const char* label;
    std::string path;
    std::string exec;  // as it must stand in the file
  };
  const Case cases[] = {
      {"plain path", "/usr/bin/aerlume", "/usr/bin/aerlume"},
      {"space", "/opt/my app/aerlume", "\"/opt/my app/aerlume\""},
      {"quote, dollar, backtick", "/opt/a\"b$c`d/aerlume", "\"/opt/a\\\\\"b\\\\$c\\\\`d/aerlume\""},
      {"backslash", "/opt/back\\slash/aerlume", "\"/opt/back\\\\\\\\slash/aerlume\""},
      {"percent", "/opt/100%/aerlume", "/opt/100%%/aerlume"},
      {"UTF-8", "/opt/\xC3\xA9t\xC3\xA9/aerlume", "/opt/\xC3\xA9t\xC3\xA9/aerlume"},
  };
  HKEY key = Open();
  ASSERT_NE(key, nullptr);
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = std::to_string(++n);
    ASSERT_EQ(Set(key, name.c_str(), c.path), ERROR_SUCCESS) << c.label;
    EXPECT_EQ(Entries().at(name), c.exec) << c.label;
    char buffer[256];
    DWORD bytes = sizeof(buffer);
    ASSERT_EQ(RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer), c.path) << c.label;
    const std::string command = "desktop-file-validate '" + RunDir() + "/" + name + ".desktop' 2>&1";
    std::FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string said;
    char chunk[512];
    while (std::fgets(chunk, sizeof(chunk), out)) said += chunk;
    EXPECT_EQ(pclose(out), 0) << c.label << ": " << said;
    EXPECT_EQ(said.find("error"), std::string::npos) << c.label << ": " << said;
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

}  // namespace
