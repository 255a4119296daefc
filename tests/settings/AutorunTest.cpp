// The autorun entry against a private run-list folder.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "settings/Settings.h"
#include "tests/settings/SettingsFixture.h"
#include "tests/eventlog/LogReader.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

class AutorunTest : public SettingsFixture {
 protected:
  static std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }
};

TEST_F(AutorunTest, SameFileNameInAnotherFolderAndCaseCountsAsThisProgram) {
  AddEntry("1", "/opt/elsewhere/" + Upper(OwnFileName()));
  EXPECT_TRUE(CSettings::IsAutorun());
  // A path with backslash separators is split at its backslashes.
  fs::remove(RunDir() + "/1.desktop");
  AddEntry("1", "C:\\Tools\\" + Upper(OwnFileName()));
  EXPECT_TRUE(CSettings::IsAutorun());
}

// Exec follows the desktop-entry rules: a quoted path is that path, while a
// command with arguments or another file name is not this program.
TEST_F(AutorunTest, QuotedPathIsThisProgramButACommandWithArgumentsIsNot) {
  AddEntry("1", OwnPath() + " --minimized");
  AddEntry("2", "\"" + OwnPath() + "\" --minimized");
  AddEntry("3", OwnPath() + ".bak");
  EXPECT_FALSE(CSettings::IsAutorun());
  AddEntry("4", "\"" + OwnPath() + "\"");
  EXPECT_TRUE(CSettings::IsAutorun());
  fs::remove(RunDir() + "/4.desktop");
  // Switching on adds a plain entry after them and leaves them alone.
  CSettings::SetAutorun(true);
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries.at("4"), OwnPath());
  EXPECT_EQ(entries.at("2"), "\"" + OwnPath() + "\" --minimized");
  EXPECT_TRUE(CSettings::IsAutorun());
}

TEST_F(AutorunTest, NewEntryIsNamedOneAfterTheLastEnumeratedName) {
  AddEntry("1", "/usr/bin/first");
  AddEntry("3", "/usr/bin/third");
  CSettings::SetAutorun(true);
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries.at("4"), OwnPath());  // whole path, unquoted, no arguments
  EXPECT_EQ(entries.at("1"), "/usr/bin/first");
  EXPECT_EQ(entries.at("3"), "/usr/bin/third");
  // Already on: switching on again changes nothing.
  CSettings::SetAutorun(true);
  EXPECT_EQ(Entries(), entries);
}

TEST_F(AutorunTest, EmptyRunListGetsEntryOne) {
  EXPECT_FALSE(CSettings::IsAutorun());
  CSettings::SetAutorun(true);
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.begin()->first, "1");
  EXPECT_EQ(entries.begin()->second, OwnPath());
  EXPECT_TRUE(CSettings::IsAutorun());
  // The entry is a complete desktop entry.
  std::FILE* f = std::fopen((RunDir() + "/1.desktop").c_str(), "r");
  ASSERT_NE(f, nullptr);
  char text[8192] = {};
  const std::size_t got = std::fread(text, 1, sizeof(text) - 1, f);
  std::fclose(f);
  // Named after the program, whatever its file is called.
  EXPECT_EQ(std::string(text, got), "[Desktop Entry]\nType=Application\nName=Aerlume\nExec=" + OwnPath() + "\n");
}

TEST_F(AutorunTest, LeadingNumberOfTheLastNameCountsAsAtoiReadsIt) {
  AddEntry("0abc", "/usr/bin/a");
  AddEntry("7tools", "/usr/bin/b");  // enumerated last: "7tools" > "0abc"
  CSettings::SetAutorun(true);
  EXPECT_EQ(Entries().count("8"), 1u);
}

TEST_F(AutorunTest, EntriesFromIndexOneHundredOnAreNotSeen) {
  char name[16];
  for (int i = 0; i < 100; ++i) {
    std::snprintf(name, sizeof(name), "e%03d", i);
    AddEntry(name, "/usr/bin/other" + std::to_string(i));
  }
  AddEntry("zz", OwnPath());  // index 100 in file-name order
  EXPECT_FALSE(CSettings::IsAutorun());

  // Switching off cannot reach it either.
  CSettings::SetAutorun(false);
  EXPECT_EQ(Entries().count("zz"), 1u);

  // Switching on adds an entry; the last name seen ("e099") reads as 0.
  CSettings::SetAutorun(true);
  const auto entries = Entries();
  EXPECT_EQ(entries.size(), 102u);
  ASSERT_EQ(entries.count("1"), 1u);
  EXPECT_EQ(entries.at("1"), OwnPath());
  EXPECT_TRUE(CSettings::IsAutorun());  // "1" sorts first
}

TEST_F(AutorunTest, FailingIndicesAreSkippedNotAStop) {
  // Data too long for the enumeration's buffer makes its index fail.
  const std::string tooLong = "/usr/bin/" + std::string(9000, 'x');
  AddEntry("1", tooLong);
  AddEntry("3", OwnPath());
  EXPECT_TRUE(CSettings::IsAutorun());

  // A failing index does not count as the last name read: after "2" and a
  // failing "5" the new entry is "3".
  fs::remove(RunDir() + "/1.desktop");
  fs::remove(RunDir() + "/3.desktop");
  AddEntry("2", "/usr/bin/second");
  AddEntry("5", tooLong);
  CSettings::SetAutorun(true);
  const auto entries = Entries();
  ASSERT_EQ(entries.count("3"), 1u);
  EXPECT_EQ(entries.at("3"), OwnPath());
  EXPECT_EQ(entries.at("5"), tooLong);
}

TEST_F(AutorunTest, SwitchingOffDeletesOnlyTheFirstMatchingEntry) {
  AddEntry("1", "/opt/a/" + Upper(OwnFileName()));
  AddEntry("2", "/usr/bin/other");
  AddEntry("3", OwnPath());
  CSettings::SetAutorun(false);
  auto entries = Entries();
  EXPECT_EQ(entries.count("1"), 0u);
  EXPECT_EQ(entries.count("2"), 1u);
  EXPECT_EQ(entries.count("3"), 1u);
  EXPECT_TRUE(CSettings::IsAutorun());
  CSettings::SetAutorun(false);
  entries = Entries();
  EXPECT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.count("2"), 1u);
  EXPECT_FALSE(CSettings::IsAutorun());
  // Off when already off: nothing to delete, nothing changes.
  CSettings::SetAutorun(false);
  EXPECT_EQ(Entries(), entries);
}

TEST_F(AutorunTest, NewEntryNeverOverwritesAnotherEntrysName) {
  // The last name is not a number, so the computed name is "1", which is taken.
  AddEntry("1", "/usr/bin/first");
  AddEntry("2", "/usr/bin/second");
  AddEntry("custom", "/usr/bin/custom");
  CSettings::SetAutorun(true);
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries.at("1"), "/usr/bin/first");
  EXPECT_EQ(entries.at("2"), "/usr/bin/second");
  EXPECT_EQ(entries.at("3"), OwnPath());
}

TEST_F(AutorunTest, NewEntryDoesNotOverwriteANameBeyondTheScannedIndices) {
  char name[16];
  for (int i = 0; i < 100; ++i) {
    std::snprintf(name, sizeof(name), "%03d", i + 1);  // "001".."100"
    AddEntry(name, "/usr/bin/other" + std::to_string(i));
  }
  AddEntry("101", "/usr/bin/unseen");  // index 100: not scanned, but its name is used
  CSettings::SetAutorun(true);
  const auto entries = Entries();
  EXPECT_EQ(entries.at("101"), "/usr/bin/unseen");
  ASSERT_EQ(entries.count("102"), 1u);
  EXPECT_EQ(entries.at("102"), OwnPath());
}

TEST_F(AutorunTest, HugeLastNameDoesNotOverflow) {
  AddEntry("99999999999999999999999", "/usr/bin/other");
  CSettings::SetAutorun(true);
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  bool found = false;
  for (const auto& [entryName, exec] : entries)
    if (exec == OwnPath()) {
      found = true;
      EXPECT_NE(entryName, "99999999999999999999999");
      EXPECT_NE(entryName.front(), '-') << entryName;
    }
  EXPECT_TRUE(found);
}

// The folder's mode has no write bit: closed for every user, root included.
// The check mark follows what is on disk, and the log says why it could not
// change.
TEST_F(AutorunTest, UnwritableRunListShowsWhatIsOnDiskAndLogsWhy) {
  testlog::LogReader log;
  AddEntry("1", OwnPath());
  AddEntry("2", "/usr/bin/other");
  ASSERT_EQ(chmod(RunDir().c_str(), 0555), 0);
  auto before = FolderListing();
  EXPECT_TRUE(CSettings::IsAutorun());
  std::string why;
  EXPECT_FALSE(CSettings::SetAutorun(false, &why));
  EXPECT_EQ(why, "cannot write in " + RunDir() + ": Permission denied");
  EXPECT_EQ(FolderListing(), before);
  CSettings::Load();
  EXPECT_TRUE(CSettings::m_bAutorun);
  CSettings::m_bAutorun = false;
  CSettings::Save();
  EXPECT_TRUE(CSettings::m_bAutorun);
  EXPECT_EQ(log.Take(), std::vector<std::string>{"Autorun could not be turned off: cannot write in " + RunDir() +
                                                 ": Permission denied.\n"});

  // Without our entry, switching on adds nothing either.
  ASSERT_EQ(chmod(RunDir().c_str(), 0755), 0);
  fs::remove(RunDir() + "/1.desktop");
  ASSERT_EQ(chmod(RunDir().c_str(), 0555), 0);
  before = FolderListing();
  EXPECT_FALSE(CSettings::SetAutorun(true));
  EXPECT_EQ(FolderListing(), before);
  CSettings::m_bAutorun = true;
  CSettings::Save();
  EXPECT_FALSE(CSettings::m_bAutorun);
  EXPECT_EQ(FolderListing(), before);
  EXPECT_EQ(log.Take(), std::vector<std::string>{"Autorun could not be turned on: cannot write in " + RunDir() +
                                                 ": Permission denied.\n"});
  // Off while off is no failure.
  EXPECT_TRUE(CSettings::SetAutorun(false));
}

// ~/.config/autostart often does not exist yet: reading never creates it,
// switching on does; where it cannot be created, that is logged.
TEST_F(AutorunTest, MissingRunListIsCreatedOnlyBySwitchingOn) {
  testlog::LogReader log;
  fs::remove_all(RunDir());
  EXPECT_FALSE(CSettings::IsAutorun());
  CSettings::Load();
  EXPECT_TRUE(CSettings::SetAutorun(false));
  EXPECT_FALSE(fs::exists(RunDir()));

  CSettings::m_bAutorun = true;
  CSettings::Save();
  EXPECT_TRUE(CSettings::m_bAutorun);
  EXPECT_EQ(Entries().size(), 1u);
  EXPECT_TRUE(log.Take().empty());
  // The machine-wide folders are never used.
  EXPECT_FALSE(fs::exists(Root() + "/machine"));

  fs::remove_all(RunDir());
  ASSERT_EQ(chmod(XdgDir().c_str(), 0555), 0);
  CSettings::Save();
  EXPECT_FALSE(CSettings::m_bAutorun);
  EXPECT_FALSE(fs::exists(RunDir()));
  EXPECT_EQ(log.Take(), std::vector<std::string>{"Autorun could not be turned on: cannot create " + RunDir() +
                                                 " in " + XdgDir() + ": Permission denied.\n"});
}

// Switching on twice writes one entry holding the whole path and finds it
// again. AutorunLongPath runs this same test from a copy of the binary whose
// path is longer than 260 characters.
TEST_F(AutorunTest, SwitchingOnWritesTheWholePathOnceAndFindsIt) {
  EXPECT_EQ(CSettings::GetModulePath(true), OwnPath());
  EXPECT_EQ(CSettings::GetModulePath(false), OwnFileName());
  CSettings::SetAutorun(true);
  CSettings::SetAutorun(true);
  EXPECT_TRUE(CSettings::IsAutorun());
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.begin()->second, OwnPath());
}

TEST_F(AutorunTest, ExecutablePathLongerThan260CharactersIsNeitherCutNorDuplicated) {
  const fs::path folder = fs::path(Root()) / std::string(100, 'a') / std::string(100, 'b') / std::string(100, 'c');
  fs::create_directories(folder);
  const fs::path copy = folder / "aerlume-long-path-probe";
  fs::copy_file(OwnPath(), copy);
  ASSERT_GT(copy.string().size(), 300u);

  setenv("AERLUME_TEST_XDG_DIR", XdgDir().c_str(), 1);
  const std::string program = copy.string();
  std::string filter = "--gtest_filter=AutorunTest.SwitchingOnWritesTheWholePathOnceAndFindsIt";
  char* argv[] = {const_cast<char*>(program.c_str()), filter.data(), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ);
  unsetenv("AERLUME_TEST_XDG_DIR");
  ASSERT_EQ(spawned, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.begin()->second, program);
}

}  // namespace
