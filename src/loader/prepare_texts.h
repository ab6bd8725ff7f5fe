#pragma once
// The log texts of the preparation's steps, one table per operation, made from what each step
// returns.
#include <chrono>
#include <exception>
#include <string>
#include <vector>

#include "platform/run_lock.h"
#include "settings/registry_settings.h"

namespace nurv {

// EnsureRegistryKeys: whether the key was there.
std::string RegistryKeyLine(bool key_was_missing);

// WriteRegistrySettings: a line per value that could not be written, or the closing " - OK" line.
std::vector<std::string> RegistryWriteLines(const std::vector<WriteUnit>& failed);

// ReadRegistrySettings: a line per failed read that the log names, and the closing " - OK" line
// unless a failure withholds it.
std::vector<std::string> RegistryReadLines(const std::vector<ReadUnit>& failed);

// The entry of a failed connect to `server`/`database`: the network or the login named as the
// kind of `error` says, then the provider's message. The server's password is hidden.
std::string ConnectFailureEntry(const std::string& server, const std::string& database,
                                const std::exception& error);

// The line of an entry of nurv.ini's [Security] ("TrustedKey1") that is there but holds no key.
std::string InvalidTrustedKeyLine(const std::string& entry);

// Why the run lock could not be taken at all.
std::string RunLockFailureText(const platform::RunLockError& error);

// The entry of a run that waited `waited` for another loader of the complex in vain.
std::string ComplexHeldLine(std::chrono::milliseconds waited);

// The entry of a failed access check: a refused read, or any other failure to open the catalogue.
std::string AccessFailureEntry(const std::exception& error);

}  // namespace nurv
