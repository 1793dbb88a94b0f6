#pragma once
// The user's temporary folder. TMPDIR when set; otherwise a private folder of the user under
// /tmp, because /tmp itself is shared by every user and files named by a guessable session id
// must not be placed where another user can plant a link first.
#include <string>
#include <sys/types.h>

namespace nimbra {

// The temporary folder of this process's user, ending with "/": $TMPDIR when set and not empty,
// else PrivateTempFolder(getuid()) made ready by EnsurePrivateFolder. "" when neither works.
std::string TempPath();

// "/tmp/nimbra-creator-<uid>": the private temporary folder of a user (no trailing "/").
std::string PrivateTempFolder(uid_t uid);

// Makes sure `path` is a real folder (not a symbolic link) owned by uid with mode 0700,
// creating it when missing (and handing it to uid/gid when run as root). False when the path
// exists but is not such a folder, or cannot be made so.
bool EnsurePrivateFolder(const std::string& path, uid_t uid, gid_t gid);

}  // namespace nimbra
