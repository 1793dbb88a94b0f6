#pragma once
// Delivery of a result file to where the user wants it. A destination that cannot be written
// for the moment (error 75: read-only, no permission, immutable) is retried for a while; after
// that the user may be asked to retry. The destination never holds a half-written file: the copy
// goes to a temporary name in the destination folder and is renamed over the destination only
// when complete, so a failed copy (a full disk, say) leaves an existing destination as it was.
#include <chrono>
#include <string>

namespace nimbra {

class UserInterface;

// How long access errors are retried, and the pause between attempts.
struct CopyRetryTiming {
  std::chrono::milliseconds window{10000};
  std::chrono::milliseconds pause{100};
};

// One attempt: replaces `destination` (a symbolic link is followed to the file it names) with a
// complete copy of `source`. The new file keeps the permission bits of the file it replaces,
// else gets 0666 less the umask. On failure nothing at the destination has changed and no
// temporary file remains; throws Error: 53 when the source or the destination folder is
// missing, 75 for an access error, else errno's own number and text (28 for a full disk).
void CopyFileReplacing(const std::string& source, const std::string& destination);

// Copies `source` over `destination`. Access errors (75) are logged and retried every
// `timing.pause` until `timing.window` has passed since the first attempt; any other error
// fails at once. A failure is logged; then, unless `silent` or no dialog can be shown, the user
// is asked Retry/Cancel (Retry starts over with a new window). True when the file was copied.
// Never throws.
bool CopyToDestination(const std::string& source, const std::string& destination, bool silent,
                       UserInterface& ui, const CopyRetryTiming& timing = {});

}  // namespace nimbra
