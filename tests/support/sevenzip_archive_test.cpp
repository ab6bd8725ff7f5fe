// Extraction of archives made by the 7z command, through the system's 7-Zip library.
#include "support/sevenzip_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/native_path.h"
#include "platform/files.h"
#include "support/sevenzip_fixture.h"

namespace nurv {
namespace {

namespace fs = std::filesystem;
using testing::kSystemSevenZip;
using testing::Native;
using testing::PutFile;
using testing::ReadFile;
using testing::Run7z;
using testing::ShellArg;
using testing::TempDir;
using testing::WriteFile;

constexpr unsigned kNoPath = static_cast<unsigned>(ExtractOption::ExtractNoPath);
constexpr unsigned kOverwrite = static_cast<unsigned>(ExtractOption::ExtractOverwrite);

// The whole file in one read (large files).
std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

class SevenZipExtract : public ::testing::Test {
 protected:
  void SetUp() override {
    NURV_REQUIRE_SEVENZIP();
    fs::create_directories(src_);
    fs::create_directories(out_);
    zip_ = std::make_unique<SevenZipArchive>(std::vector<std::string>{kSystemSevenZip});
    zip_->ExtractFolder = out_;
  }

  // An archive of `names` (relative to the source folder) made with `switches`.
  std::string MakeArchive(const std::string& name, const std::string& names,
                          const std::string& switches = "") {
    const std::string archive = dir_.Sub(name);
    EXPECT_TRUE(Run7z(src_, "a -t7z " + switches + " " + ShellArg(archive) + " " + names)) << names;
    return archive;
  }
  // Where an item lands, as the component names it: with the platform's separator.
  std::string Out(const std::string& relative) const { return Native(out_ + "/" + relative); }

  std::int32_t ExtractFirst(const std::string& archive, unsigned options = kNoPath | kOverwrite) {
    zip_->ArchivePath = archive;
    zip_->ExtractOptions = options;
    zip_->ItemIndexes = {"0"};
    return zip_->Extract();
  }

  TempDir dir_;
  std::string src_ = dir_.Sub("src");
  std::string out_ = dir_.Sub("out");
  std::unique_ptr<SevenZipArchive> zip_;
};

TEST_F(SevenZipExtract, FirstItemWithoutPathLandsInTheDestination) {
  PutFile(src_, "sub/deep/hello.txt", "hello, world\n");
  PutFile(src_, "z_second.txt", "second");
  PutFile(src_, "z_third.txt", "third");
  const std::string archive = MakeArchive("m.7z", "sub/deep/hello.txt z_second.txt z_third.txt");

  // The component stops the library once the last wanted file is complete; the library says 1.
  EXPECT_EQ(ExtractFirst(archive), 1);
  EXPECT_EQ(zip_->ErrorCode, 0);
  EXPECT_EQ(ReadFile(Out("hello.txt")), "hello, world\n");
  EXPECT_FALSE(fs::exists(Out("sub")));
  EXPECT_FALSE(fs::exists(Out("z_second.txt")));

  // The same component serves a second extraction, of another item.
  zip_->ItemIndexes = {"2"};
  EXPECT_EQ(zip_->Extract(), 1);
  EXPECT_EQ(ReadFile(Out("z_third.txt")), "third");
  EXPECT_FALSE(fs::exists(Out("z_second.txt")));
}

TEST_F(SevenZipExtract, DestinationWithOrWithoutTrailingSeparator) {
  PutFile(src_, "a/file.bin", "payload");
  const std::string archive = MakeArchive("t.7z", "a/file.bin");
  std::string target;
  zip_->OnSetExtractName = [&target](std::uint32_t, std::string& name) { target = name; };
  for (const std::string& base : {dir_.Sub("plain"), dir_.Sub("slash") + "/"}) {
    zip_->ExtractFolder = base;
    EXPECT_EQ(ExtractFirst(archive), 1);
    // A given final separator is kept; a missing one is the platform's.
    const std::string expected =
        base.back() == '/' ? base + "file.bin" : Native(base + "/file.bin");
    EXPECT_EQ(target, expected);
    EXPECT_EQ(ReadFile(expected), "payload") << base;
  }
}

TEST_F(SevenZipExtract, EmptySelectionExtractsEverythingWithFolders) {
  PutFile(src_, "tree/a/b/c.txt", "c");
  PutFile(src_, "tree/a/d.txt", "d");
  PutFile(src_, "tree/e.txt", "e");
  PutFile(src_, "tree/zero.txt", "");
  fs::create_directories(fs::path(src_) / "tree/empty");
  const std::string archive = MakeArchive("all.7z", "tree");
  zip_->ArchivePath = archive;
  zip_->ExtractOptions = kOverwrite;
  EXPECT_EQ(zip_->Extract(), 0);
  EXPECT_EQ(zip_->ErrorCode, 0);
  EXPECT_EQ(ReadFile(Out("tree/a/b/c.txt")), "c");
  EXPECT_EQ(ReadFile(Out("tree/a/d.txt")), "d");
  EXPECT_EQ(ReadFile(Out("tree/e.txt")), "e");
  EXPECT_TRUE(fs::is_directory(Out("tree/empty")));
  EXPECT_TRUE(fs::is_regular_file(Out("tree/zero.txt")));
  EXPECT_EQ(fs::file_size(Out("tree/zero.txt")), 0u);
}

TEST_F(SevenZipExtract, SelectionOutOfRangeExtractsNothing) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) PutFile(src_, name, name);
  const std::string archive = MakeArchive("three.7z", "a.txt b.txt c.txt");
  zip_->ArchivePath = archive;
  zip_->ExtractOptions = kNoPath | kOverwrite;
  // 3 is one past the last item; the others are not indexes at all.
  for (const char* entry : {"5", "3", "-1", "abc", "", "1x", "99999999999"}) {
    zip_->ItemIndexes = {"0", entry};
    EXPECT_EQ(zip_->Extract(), -1) << entry;
    EXPECT_EQ(zip_->ErrorCode, kSzIndexOutOfRange) << entry;
  }
  EXPECT_TRUE(fs::is_empty(out_));
  // Duplicates and any order are fine.
  zip_->ItemIndexes = {"2", " 0 ", "2"};
  EXPECT_GE(zip_->Extract(), 0);
  EXPECT_EQ(zip_->ErrorCode, 0);
  EXPECT_TRUE(fs::exists(Out("a.txt")));
  EXPECT_TRUE(fs::exists(Out("c.txt")));
  EXPECT_FALSE(fs::exists(Out("b.txt")));
}

TEST_F(SevenZipExtract, ArchiveThatCannotBeOpened) {
  const std::string not_archive = PutFile(dir_.path(), "plain.7z", std::string(1000, 'x'));
  for (const std::string& path : {dir_.Sub("missing.7z"), not_archive}) {
    EXPECT_EQ(ExtractFirst(path), -1) << path;
    EXPECT_EQ(zip_->ErrorCode, kSzFileNotFound);
  }
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(SevenZipExtract, ExeWithoutSignatureIsRefusedAndOneWithItIsOpened) {
  PutFile(src_, "inner.txt", "from the sfx");
  const std::string archive = MakeArchive("x.7z", "inner.txt");
  for (const char* name : {"setup.exe", "SETUP.EXE"}) {
    // A real 7z archive at the start, before the searched window, is not an SFX.
    const std::string exe = PutFile(dir_.path(), name, ReadFile(archive) + std::string(70000, 'M'));
    EXPECT_EQ(ExtractFirst(exe), -1);
    EXPECT_EQ(zip_->ErrorCode, kSzNotSfxArchive);
  }
  EXPECT_EQ(ExtractFirst(dir_.Sub("absent.exe")), -1);
  EXPECT_EQ(zip_->ErrorCode, 7);
  EXPECT_TRUE(fs::is_empty(out_));

  // A stub of 65536 + 1000 bytes followed by the archive: found in the window and opened there.
  const std::string sfx =
      PutFile(dir_.path(), "sfx.Exe", std::string(66536, 'M') + ReadFile(archive));
  EXPECT_EQ(ExtractFirst(sfx), 1);
  EXPECT_EQ(zip_->ErrorCode, 0);
  EXPECT_EQ(ReadFile(Out("inner.txt")), "from the sfx");
}

TEST_F(SevenZipExtract, ExistingFileIsKeptWithoutOverwriteAndReplacedWithIt) {
  PutFile(src_, "data.txt", "new contents");
  const std::string archive = MakeArchive("o.7z", "data.txt");
  PutFile(out_, "data.txt", "old");

  EXPECT_EQ(ExtractFirst(archive, kNoPath), 0);
  EXPECT_EQ(ReadFile(Out("data.txt")), "old");
  EXPECT_EQ(zip_->ErrorCode, 0);

  PutFile(out_, "data.txt", "old, and longer than the new contents");
  EXPECT_EQ(ExtractFirst(archive, kNoPath | kOverwrite), 1);
  EXPECT_EQ(ReadFile(Out("data.txt")), "new contents");
}

TEST_F(SevenZipExtract, RenamedTargetFromTheEvent) {
  PutFile(src_, "orig.txt", "renamed");
  const std::string archive = MakeArchive("r.7z", "orig.txt");
  zip_->OnSetExtractName = [this](std::uint32_t index, std::string& name) {
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(name, Out("orig.txt"));
    name = Out("other/name.txt");
  };
  EXPECT_EQ(ExtractFirst(archive), 1);
  EXPECT_EQ(ReadFile(Out("other/name.txt")), "renamed");
}

TEST_F(SevenZipExtract, DamagedDataIsReported) {
  std::string content;
  for (int i = 0; i < 4000; ++i) content += "line " + std::to_string(i) + "\n";
  PutFile(src_, "big.txt", content);
  // Stored: the data follows the 32-byte signature header as it is, so the damage is a CRC error.
  const std::string stored = MakeArchive("stored.7z", "big.txt", "-mx0");
  const std::string packed = MakeArchive("packed.7z", "big.txt", "-mx5");
  for (const auto& [archive, codes] :
       {std::pair{stored, std::set<std::int32_t>{3}}, {packed, std::set<std::int32_t>{2, 3}}}) {
    std::string bytes = ReadFile(archive);
    for (std::size_t at = 40; at < 60; ++at) bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
    WriteFile(archive, bytes);
    ExtractFirst(archive);
    EXPECT_TRUE(codes.count(zip_->ErrorCode)) << archive << " gave " << zip_->ErrorCode;
    EXPECT_TRUE(zip_->DataCheckFailed);
    EXPECT_NE(ReadFile(Out("big.txt")), content);

    // Test mode finds the same damage and writes nothing.
    fs::remove(Out("big.txt"));
    zip_->ItemIndexes = {"0"};
    zip_->Extract(true);
    EXPECT_TRUE(codes.count(zip_->ErrorCode)) << archive;
    EXPECT_FALSE(fs::exists(Out("big.txt")));
  }
}

TEST_F(SevenZipExtract, TestModeOfAGoodArchiveWritesNothing) {
  PutFile(src_, "ok.txt", "fine");
  const std::string archive = MakeArchive("ok.7z", "ok.txt");
  zip_->ArchivePath = archive;
  zip_->ItemIndexes = {"0"};
  EXPECT_GE(zip_->Extract(true), 0);
  EXPECT_EQ(zip_->ErrorCode, 0);
  EXPECT_TRUE(fs::is_empty(out_));
}

#ifdef _WIN32
constexpr std::int32_t kFolderInTheWay = 5;  // ERROR_ACCESS_DENIED
constexpr std::int32_t kReadOnlyTarget = 5;  // ERROR_ACCESS_DENIED
#else
constexpr std::int32_t kFolderInTheWay = EISDIR;
constexpr std::int32_t kReadOnlyTarget = EACCES;
#endif

TEST_F(SevenZipExtract, OutputThatCannotBeCreatedKeepsWhatIsThere) {
  PutFile(src_, "target.txt", "new");
  const std::string archive = MakeArchive("c.7z", "target.txt");

  // A folder in the way.
  PutFile(out_, "target.txt/keep.txt", "keep");
  // The library tests the refused item instead and calls it a data error; 11 stays.
  EXPECT_EQ(ExtractFirst(archive), 1);
  EXPECT_EQ(zip_->ErrorCode, 11);
  EXPECT_EQ(zip_->SystemErrorCode, kFolderInTheWay);
  EXPECT_FALSE(zip_->DataCheckFailed);
  EXPECT_EQ(ReadFile(Out("target.txt/keep.txt")), "keep");
  fs::remove_all(Out("target.txt"));

  // An older read-only file, refused as Windows refuses it (even to root).
  const std::string older = PutFile(out_, "target.txt", "older");
  ASSERT_TRUE(platform::WriteAttributes(older, platform::kAttrReadOnly));
  ExtractFirst(archive);
  EXPECT_EQ(zip_->ErrorCode, 11);
  EXPECT_EQ(zip_->SystemErrorCode, kReadOnlyTarget);
  EXPECT_EQ(ReadFile(older), "older");
  ASSERT_TRUE(platform::WriteAttributes(older, 0));
  fs::remove(older);

  // A read-only destination folder, where the system enforces it (not for root).
  fs::permissions(out_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::ofstream probe(Out("probe"));
  const bool enforced = !probe.is_open();
  probe.close();
  if (enforced) {
    ExtractFirst(archive);
    EXPECT_EQ(zip_->ErrorCode, 11);
    EXPECT_EQ(zip_->SystemErrorCode, EACCES);
    EXPECT_FALSE(fs::exists(Out("target.txt")));
  }
  fs::permissions(out_, fs::perms::owner_all, fs::perm_options::add);
}

TEST_F(SevenZipExtract, StoredAttributesAndTimeAreApplied) {
  using namespace std::chrono;
  const std::string plain = PutFile(src_, "plain.txt", "plain");
  const std::string locked = PutFile(src_, "locked.txt", "locked");
  const DateTime odd = local_days{2021y / March / 4} + 5h + 6min + 7s;
  ASSERT_TRUE(platform::WriteModifiedTime(plain, odd));
  ASSERT_TRUE(platform::WriteModifiedTime(locked, odd + 1s));
  ASSERT_TRUE(platform::WriteAttributes(locked, platform::kAttrReadOnly));
  const std::string archive = MakeArchive("at.7z", "plain.txt locked.txt", "-mtm=on");
  ASSERT_TRUE(platform::WriteAttributes(locked, 0));

  zip_->ArchivePath = archive;
  zip_->ExtractOptions = kOverwrite;
  EXPECT_EQ(zip_->Extract(), 0);
  const auto plain_attributes = platform::ReadAttributes(Out("plain.txt"));
  const auto locked_attributes = platform::ReadAttributes(Out("locked.txt"));
  ASSERT_TRUE(plain_attributes && locked_attributes);
  EXPECT_EQ(*plain_attributes & platform::kAttrReadOnly, 0u);
  EXPECT_NE(*locked_attributes & platform::kAttrReadOnly, 0u);
  EXPECT_EQ(ReadFile(Out("locked.txt")), "locked");
  // 2-second resolution: 05:06:07 and 05:06:08 both come out as 05:06:06 / 05:06:08.
  EXPECT_EQ(platform::ReadModifiedTime(Out("plain.txt")), odd - 1s);
  EXPECT_EQ(platform::ReadModifiedTime(Out("locked.txt")), odd + 1s);
  ASSERT_TRUE(platform::WriteAttributes(Out("locked.txt"), 0));
}

#ifndef _WIN32
// p7zip keeps the Unix mode in the high word of the attributes: a program stays runnable, while
// set-id bits and wider write rights than a new file gets are not taken from an archive.
TEST_F(SevenZipExtract, StoredUnixModeKeepsExecuteButGrantsNothingMore) {
  const std::string program = PutFile(src_, "run.sh", "#!/bin/sh\n");
  const std::string data = PutFile(src_, "data.txt", "data");
  fs::permissions(program, static_cast<fs::perms>(04777));
  fs::permissions(data, static_cast<fs::perms>(0600));
  const std::string archive = MakeArchive("mode.7z", "run.sh data.txt");
  const auto fresh = fs::status(PutFile(dir_.path(), "fresh", "")).permissions();

  zip_->ArchivePath = archive;
  zip_->ExtractOptions = kOverwrite;
  ASSERT_EQ(zip_->Extract(), 0);
  const auto run = fs::status(Out("run.sh")).permissions();
  EXPECT_NE(run & fs::perms::owner_exec, fs::perms::none);
  EXPECT_EQ(run & fs::perms::set_uid, fs::perms::none);
  EXPECT_EQ(
      run & ~fresh & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec),
      fs::perms::none);
  const auto plain = fs::status(Out("data.txt")).permissions();
  EXPECT_EQ(plain & (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec),
            fs::perms::none);
  EXPECT_EQ(plain & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
}
#endif

TEST_F(SevenZipExtract, StoredPathsCannotLeaveTheDestination) {
  PutFile(src_, "good.txt", "good");
  PutFile(src_, "evil.txt", "evil");
  const std::string archive = MakeArchive("p.7z", "good.txt evil.txt");
  ASSERT_TRUE(Run7z(dir_.path(), "rn " + ShellArg(archive) + " evil.txt ../evil.txt"));
  zip_->ArchivePath = archive;
  zip_->ExtractOptions = kOverwrite;
  EXPECT_EQ(zip_->Extract(), 0);
  EXPECT_FALSE(fs::exists(dir_.Sub("evil.txt")));
  EXPECT_EQ(ReadFile(Out("good.txt")), "good");
  EXPECT_EQ(zip_->ErrorCode, 11);

  // Without paths only the name counts, which stays inside.
  zip_->ExtractOptions = kOverwrite | kNoPath;
  EXPECT_EQ(zip_->Extract(), 0);
  EXPECT_EQ(ReadFile(Out("evil.txt")), "evil");
  EXPECT_EQ(zip_->ErrorCode, 0);
}

TEST_F(SevenZipExtract, NamesBeyondAsciiKeepTheirText) {
  const std::string name = "Отчёт \xF0\x9F\x98\x80.txt";
  PutFile(src_, name, "utf");
  const std::string archive = MakeArchive("u.7z", ShellArg(name));
  EXPECT_EQ(ExtractFirst(archive), 1);
  EXPECT_EQ(ReadFile(Out(name)), "utf");
}

TEST_F(SevenZipExtract, PasswordProtectedData) {
  PutFile(src_, "secret.txt", "top secret");
  const std::string archive = MakeArchive("s.7z", "secret.txt", "-pГеслo");
  EXPECT_EQ(ExtractFirst(archive), 0);  // no password: the item fails, nothing else
  EXPECT_EQ(zip_->ErrorCode, 2);
  zip_->Password = "wrong";
  ExtractFirst(archive);
  EXPECT_EQ(zip_->ErrorCode, 2);
  zip_->Password = "Геслo";
  EXPECT_EQ(ExtractFirst(archive), 1);
  EXPECT_EQ(zip_->ErrorCode, 0);
  EXPECT_EQ(ReadFile(Out("secret.txt")), "top secret");

  // Encrypted headers: without the password the archive does not open.
  const std::string hidden = MakeArchive("h.7z", "secret.txt", "-pkey -mhe=on");
  zip_->Password.clear();
  EXPECT_EQ(ExtractFirst(hidden), -1);
  EXPECT_EQ(zip_->ErrorCode, 1);
}

TEST_F(SevenZipExtract, ExceptionFromAnEventReachesTheCaller) {
  PutFile(src_, "a.txt", "a");
  const std::string archive = MakeArchive("e.7z", "a.txt");
  zip_->OnSetExtractName = [](std::uint32_t, std::string&) {
    throw std::runtime_error("from the event");
  };
  EXPECT_THROW(ExtractFirst(archive), std::runtime_error);
  // The archive was closed: the component works again.
  zip_->OnSetExtractName = nullptr;
  EXPECT_GE(ExtractFirst(archive), 0);
  EXPECT_EQ(ReadFile(Out("a.txt")), "a");
}

// A solid archive of three 2 MiB items in several LZMA2 blocks, which the library decodes on its
// own threads when it may: incompressible and repetitive parts, stored times, one item read-only.
class SevenZipThreads : public SevenZipExtract {
 protected:
  void SetUp() override {
    SevenZipExtract::SetUp();
    if (IsSkipped()) return;
    using namespace std::chrono;
    std::mt19937 random(7);
    std::string names;
    for (int file = 0; file < 3; ++file) {
      std::string data;
      data.reserve(2 << 20);
      while (data.size() < (2u << 20)) {
        for (int i = 0; i < 128; ++i) {
          const std::uint32_t word = random();
          data.append(reinterpret_cast<const char*>(&word), sizeof word);
        }
        data.append(3584, static_cast<char>('a' + file));
      }
      const std::string name = "part" + std::to_string(file) + ".bin";
      const std::string path = PutFile(src_, name, data);
      const DateTime stamp = local_days{2020y / May / 6} + 7h + 8min + seconds{9 + file};
      EXPECT_TRUE(platform::WriteModifiedTime(path, stamp));
      contents_.push_back(std::move(data));
      names += name + " ";
    }
    const std::string locked = Native(src_ + "/part1.bin");
    ASSERT_TRUE(platform::WriteAttributes(locked, platform::kAttrReadOnly));
    archive_ = MakeArchive("solid.7z", names, "-ms=on -mx1 -mmt=2 -m0=LZMA2:d=1m:c=1m -mtm=on");
    ASSERT_TRUE(platform::WriteAttributes(locked, 0));
  }
  void TearDown() override { MakeOutputRemovable(); }

  // part1.bin lands read-only, which Windows will not delete.
  void MakeOutputRemovable() const {
    for (const auto& entry : fs::recursive_directory_iterator(out_)) {
      platform::WriteAttributes(entry.path().string(), 0);
    }
  }

  // What one extraction gave: its result, codes and the files it left.
  struct Outcome {
    std::int32_t result = 0;
    std::int32_t error_code = 0;
    bool data_check_failed = false;
    std::vector<std::tuple<std::string, std::string, std::uint32_t, std::optional<DateTime>>> files;
    std::set<std::thread::id> library_threads;  // where the library called us
    std::set<std::thread::id> event_threads;    // where the events ran
    std::size_t library_calls = 0;

    bool operator==(const Outcome& other) const {
      return std::tie(result, error_code, data_check_failed, files) ==
             std::tie(other.result, other.error_code, other.data_check_failed, other.files);
    }
  };

  // Extracts every item with `threads` into a folder of its own.
  Outcome Extract(std::uint32_t threads) {
    Outcome outcome;
    std::mutex mutex;
    zip_->ExtractFolder = Out("t" + std::to_string(threads));
    zip_->ArchivePath = archive_;
    zip_->ExtractOptions = kNoPath | kOverwrite;
    zip_->ItemIndexes.clear();
    zip_->DecoderThreads = threads;
    zip_->TestHookOnLibraryCall = [&] {
      std::lock_guard lock(mutex);
      outcome.library_threads.insert(std::this_thread::get_id());
      ++outcome.library_calls;
    };
    zip_->OnSetExtractName = [&](std::uint32_t, std::string&) {
      std::lock_guard lock(mutex);
      outcome.event_threads.insert(std::this_thread::get_id());
    };
    outcome.result = zip_->Extract();
    outcome.error_code = zip_->ErrorCode;
    outcome.data_check_failed = zip_->DataCheckFailed;
    for (int file = 0; file < 3; ++file) {
      const std::string path =
          Native(zip_->ExtractFolder + "/part" + std::to_string(file) + ".bin");
      if (!fs::exists(path)) continue;
      outcome.files.emplace_back(ReadWhole(path), FileNameOf(path),
                                 platform::ReadAttributes(path).value_or(0),
                                 platform::ReadModifiedTime(path));
    }
    return outcome;
  }

  static std::string FileNameOf(const std::string& path) {
    return fs::path(path).filename().string();
  }

  std::string archive_;
  std::vector<std::string> contents_;
};

TEST_F(SevenZipThreads, LibraryThreadsChangeNothingButWhereItDecodes) {
  const Outcome single = Extract(1);
  const Outcome threaded = Extract(2);
  EXPECT_EQ(single.result, 0);
  EXPECT_EQ(single.error_code, 0);
  ASSERT_EQ(single.files.size(), 3u);
  for (int file = 0; file < 3; ++file) {
    EXPECT_TRUE(std::get<0>(single.files[file]) == contents_[file]) << file;
  }
  EXPECT_NE(std::get<2>(single.files[1]) & platform::kAttrReadOnly, 0u);
  EXPECT_TRUE(single == threaded);
  // Single-threaded, the library stays on the caller's thread; threaded, it calls from its own,
  // while the events still run on the caller's thread.
  EXPECT_GT(single.library_calls, 20u);
  EXPECT_EQ(single.library_threads, std::set<std::thread::id>{std::this_thread::get_id()});
  EXPECT_GT(threaded.library_threads.size(), 1u);
  EXPECT_EQ(single.event_threads, std::set<std::thread::id>{std::this_thread::get_id()});
  EXPECT_EQ(threaded.event_threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST_F(SevenZipThreads, DamageIsReportedAlikeEitherWay) {
  // Damage inside the packed data of the third item.
  std::string bytes = ReadWhole(archive_);
  for (std::size_t at = bytes.size() * 3 / 4; at < bytes.size() * 3 / 4 + 64; ++at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
  }
  WriteFile(archive_, bytes);
  const Outcome single = Extract(1);
  const Outcome threaded = Extract(2);
  EXPECT_TRUE(single.error_code == kSzDataError || single.error_code == kSzCrcError)
      << single.error_code;
  EXPECT_TRUE(single.data_check_failed);
  // The first item lies before the damage and lands whole.
  ASSERT_FALSE(single.files.empty());
  EXPECT_TRUE(std::get<0>(single.files[0]) == contents_[0]);
  EXPECT_TRUE(single == threaded);
}

}  // namespace
}  // namespace nurv
