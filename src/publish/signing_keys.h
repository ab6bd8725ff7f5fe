#pragma once
// The publisher's key pair on disk: DIR/nurv-publish.key (the secret key, readable by its owner
// only) and DIR/nurv-publish.pub (the public key line that workstations trust).
#include <ostream>
#include <string>

#include "base/update_signature.h"

namespace nurv::publish {

// Writes a new key pair into `folder` and reports both files, the public key line last. Refused
// (PublishError) when a secret key file is already there: it would orphan every row it signed.
void GenerateKeyFiles(const std::string& folder, std::ostream& report);

// Reads the secret key of a `.key` file into `key` (the caller's to wipe); PublishError when it
// cannot be read, is no key, or others than its owner may open it.
void ReadSecretKeyFile(const std::string& path, SecretKey& key);

}  // namespace nurv::publish
