#pragma once
// The commands of nurv-publish that change UpdatesBLOB, and its listing. Each change runs in one
// transaction: after any error the table is as it was.
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/update_signature.h"
#include "base/value.h"
#include "db/database.h"
#include "rules/module_catalogue.h"

namespace nurv::publish {

// A command that cannot be carried out; nothing was written.
class PublishError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PublishOptions {
  std::optional<std::string> version;  // --version
  std::optional<DateTime> date;        // --date
  bool force = false;                  // --force
  bool keep = false;                   // --keep
  const SecretKey* key = nullptr;      // --key: every row written is signed with it
  // --delta-from: older releases (files; for a group, folders) to write patches from, besides
  // the files the new rows replace
  std::vector<std::string> delta_from;
};

// Creates UpdatesBLOB, its signatures' table UpdatesSign and its patches' table UpdatesDelta in
// the server's types, each unless it is there.
void InitTable(db::Connection& connection, std::ostream& report);

// Replaces the rows of the single-file `module` by one row for `file`: its bytes, or for an
// archived module a 7z archive whose only item is `file` under the module's file name; caption
// the file's CRC-32, version (by the version rule) the file's product version, updatedate the
// file's time to the second. Where UpdatesDelta is there, the patches to the new file from the one
// it replaces and from `options.delta_from` are written with it.
void PublishModule(db::Connection& connection, const ModuleEntry& module, const std::string& file,
                   const PublishOptions& options, std::ostream& report);

// Replaces the rows of the file `group` by one row per regular file under `folder` (with
// `options.keep`, the rows of names not found there stay). Names the loader would refuse are
// refused, all of them listed, before anything is written. Each file's patches as PublishModule,
// its bases found by its name in the rows replaced and in the `options.delta_from` folders.
void PublishGroup(db::Connection& connection, const ModuleEntry& group, const std::string& folder,
                  const PublishOptions& options, std::ostream& report);

// One line per row, in vcode order: vcode, tdoc, name, version, caption, updatedate and the size
// of fblob, separated by tabs; NULL shows as "NULL". Then the patches (ListPatches).
void ListRows(db::Connection& connection, std::ostream& out);

// Deletes the rows of `code` (only those of `names` unless that is empty).
void RemoveRows(db::Connection& connection, const std::string& code,
                const std::vector<std::string>& names, std::ostream& report);

}  // namespace nurv::publish
