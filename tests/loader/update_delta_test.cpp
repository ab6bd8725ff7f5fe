// Rows brought as patches of the installed file (UpdatesDelta), and every way back to the full row,
// on a real SQLite update table, real files and the real 7-Zip library.
#include <gtest/gtest.h>

#include <functional>

#include "base/date_utils.h"
#include "common/pe_builder.h"
#include "loader/update_archived.h"
#include "loader/update_groups.h"
#include "loader/update_plain.h"
#include "support/signing.h"
#include "support/zstd_patch.h"
#include "update_fixture.h"

namespace nurv {
namespace {

using namespace testing;

std::string Patch(const std::string& base, const std::string& target) {
  const auto patch = MakePatch(std::vector<std::uint8_t>(base.begin(), base.end()),
                               std::vector<std::uint8_t>(target.begin(), target.end()));
  return std::string(patch.begin(), patch.end());
}

std::string Sha256Hex(const TempDir& dir, const std::string& bytes) {
  WriteFile(dir.Sub("digest.bin"), bytes);
  return HexText(BytesOf(FileSha256(dir.Sub("digest.bin")).digest));
}

class DeltaUpdate : public UpdateTest {
 protected:
  void SetUp() override { NURV_REQUIRE_SEVENZIP(); }

 public:  // for the cases' arrangements
  // The patch of row `vcode` from `base` to `target` (`stored`: the row's fblob), its base facts
  // as given.
  void AddPatch(std::int64_t vcode, const std::string& base, const std::string& target,
                const std::string& stored, std::string patch = {}) {
    if (patch.empty()) patch = Patch(base, target);
    Sql("CREATE TABLE IF NOT EXISTS UpdatesDelta (vcode INTEGER, basesize INTEGER, basecrc "
        "INTEGER, fullsize INTEGER, rowsha256 TEXT, patch BLOB); INSERT INTO UpdatesDelta VALUES "
        "(" +
        std::to_string(vcode) + ", " + std::to_string(base.size()) + ", " +
        std::to_string(Crc32Of(base)) + ", " + std::to_string(stored.size()) + ", '" +
        Sha256Hex(dir, stored) + "', X'" + HexText(patch) + "')");
  }

  std::string base = IncompressibleBytes(64 << 10, 1);
  std::string target = [this] {
    std::string bytes = base;
    bytes.replace(1000, 300, IncompressibleBytes(300, 2));
    return bytes.insert(40000, "inserted code");
  }();
};

constexpr char kRowTime[] = "2024-05-01 10:15:30";

// One module of each form: where it lands and how its stage runs.
struct Form {
  const char* code;
  const char* file;
  bool archived;
};
constexpr Form kForms[] = {
    {"BAT", "nurvrun.bat", false}, {"CXP", "libcef.dll", false}, {"PRG", "nurv.exe", true}};

// Held with the run's other patches, or beyond the bound read on its own: the same result.
TEST_F(DeltaUpdate, PatchOfTheInstalledFileLandsTheRowForEveryForm) {
  for (const std::int64_t bound : {kHeldPatchBytes, std::int64_t{0}})
    for (const Form& form : kForms) {
      SCOPED_TRACE(std::string(form.code) + " within " + std::to_string(bound));
      const std::string file = Bin(form.file);
      WriteFile(file, base);
      SetFileTime(file, LocalTime(2024, 4, 1, 9, 0, 0));
      UpdateRow row = PlainRow(1, form.code, form.file, target, kRowTime);
      if (form.archived) {
        row.version = "5.1.10.2";
        row.fblob = Make7z(dir, form.file, target);
        WriteFile(file, BuildPeFile({5, 1, 9, 2}, {1, 0, 0, 0}) + base);
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
      }
      const std::string installed = ReadFile(file);
      Serve({row});
      AddPatch(1, installed, target, *row.fblob);
      ui.ClearLog();
      const ModuleEntry& entry = ModuleByCode(form.code);
      Ctx().held_patch_bytes = bound;
      const StageResult result = entry.form == ModuleForm::Group ? UpdateFileGroup(*ctx, entry)
                                 : form.archived                 ? UpdateArchivedModule(*ctx, entry)
                                                                 : UpdatePlainModule(*ctx, entry);
      EXPECT_EQ(Code(result), 1);
      EXPECT_EQ(ReadFile(file), target);
      const PatchBase installed_base{1, static_cast<std::int64_t>(installed.size()),
                                     Crc32Of(installed)};
      EXPECT_EQ(ctx->patches->Held(installed_base) != nullptr, bound > 0);
      EXPECT_EQ(FileTime(file), form.archived ? LocalTime(2024, 5, 1, 10, 15, 30)
                                              : LocalTime(2024, 5, 1, 10, 15, 0));
      const std::string line =
          "    получено разностью: " + std::to_string(Patch(installed, target).size()) + " из " +
          std::to_string(row.fblob->size()) + " байт";
      // A group file's line follows its name; a single file's waits for its stage's line.
      const bool group = entry.form == ModuleForm::Group;
      const std::vector<std::string> logged =
          group ? std::vector<std::string>{form.file, line} : std::vector<std::string>();
      EXPECT_EQ(ui.Log(), logged);
      EXPECT_EQ(ctx->patch_lines, group ? std::vector<std::string>() : std::vector{line});
      EXPECT_TRUE(FolderNames(settings.PathTemp).empty()) << "nothing fetched or unpacked";
#ifndef _WIN32
      if (form.archived) {
        EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms::owner_all);
      }
#endif
    }
}

// Whatever keeps a patch from landing the row, the full row lands in the same stage, silently.
TEST_F(DeltaUpdate, EveryFailedPatchFallsBackToTheFullRow) {
  const KeyPair publisher = GenerateKeyPair();
  const struct {
    const char* what;
    std::function<void(DeltaUpdate&)> arrange;
    bool signed_rows = false;
  } cases[] = {
      {"no patch from the installed file",
       [](DeltaUpdate& t) { t.AddPatch(1, t.base + "x", t.target, t.target); }},
      {"damaged patch",
       [](DeltaUpdate& t) {
         std::string patch = Patch(t.base, t.target);
         patch[patch.size() / 2] ^= 0x5A;
         t.AddPatch(1, t.base, t.target, t.target, patch);
       }},
      {"patch made from another base than the one it names",
       [](DeltaUpdate& t) {
         t.AddPatch(1, t.base, t.target, t.target, Patch(t.target, t.target));
       }},
      {"result fails its CRC-32",
       [](DeltaUpdate& t) { t.AddPatch(1, t.base, t.target + "!", t.target); }},
      {"result not what the key signed",
       [](DeltaUpdate& t) { t.AddPatch(1, t.base, t.target, "other stored bytes"); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bat = Bin("nurvrun.bat");
    WriteFile(bat, base);
    SetFileTime(bat, LocalTime(2024, 4, 1, 9, 0, 0));
    Serve({PlainRow(1, "BAT", "", target, kRowTime)});
    c.arrange(*this);
    Ctx();
    if (c.signed_rows) {
      SignedFields fields{"BAT", "", std::nullopt, *ParseDateTimeText(kRowTime), Crc32Of(target)};
      WriteFile(dir.Sub("signed.bin"), target);
      fields.stored = fields.landed = FileSha256(dir.Sub("signed.bin")).digest;
      Sql("CREATE TABLE UpdatesSign (vcode INTEGER, sha256 TEXT, signature TEXT, keyid TEXT); "
          "INSERT INTO UpdatesSign VALUES (1, '" +
          HexText(BytesOf(fields.landed)) + "', '" +
          HexText(BytesOf(SignMessage(SignedMessage(fields), publisher.secret_key))) + "', '" +
          KeyId(publisher.public_key) + "')");
      ctx->trusted_keys = TrustedKeys({PublicKeyLine(publisher.public_key)});
    }
    ui.ClearLog();
    EXPECT_EQ(Code(UpdatePlainModule(*ctx, ModuleByCode("BAT"))), 1);
    EXPECT_EQ(ReadFile(bat), target);
    EXPECT_TRUE(ui.Log().empty());
    EXPECT_TRUE(ctx->patch_lines.empty());
  }
}

// Patches are held the smallest first, those of one size all or none, within the bound.
TEST(PatchIndex, HeldSizeLimitKeepsTheSmallestWithinTheBound) {
  const struct {
    std::vector<std::int64_t> sizes;
    std::int64_t bound;
    std::int64_t limit;
  } cases[] = {
      {{}, 100, -1},          {{30, 10, 20}, 60, 30}, {{30, 10, 20}, 59, 20},
      {{10, 20, 20}, 49, 10}, {{10, 20, 20}, 50, 20}, {{10}, 9, -1},
      {{0, 0, 5}, 0, 0},
  };
  for (const auto& c : cases) {
    std::vector<PatchIndex::Listed> listed;
    for (const std::int64_t size : c.sizes) listed.push_back({PatchBase{}, size});
    EXPECT_EQ(PatchIndex(listed).HeldSizeLimit(c.bound), c.limit) << c.bound;
  }
}

}  // namespace
}  // namespace nurv
