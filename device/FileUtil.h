#pragma once
// File access shared by every writer and reader of the program.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrb::device {

// Largest file ReadFileBytes accepts unless told otherwise.
inline constexpr size_t kDefaultMaxFileBytes = 256u * 1024u * 1024u;

// Replaces the file at path with bytes: writes a temporary file in the target's folder and
// renames it over the target, so the old content stays whole when anything fails. A symbolic
// link is followed to its final target (see ResolveSymlinks), which is replaced; an existing
// target keeps its permission bits (a new one gets 0666 less the umask). An existing target that
// is not a regular file is refused. The temporary file is flushed to disk before the rename and the
// folder after it. On failure the temporary file is removed, error says why and the result is
// false. Temporary files of earlier saves of the same target whose process (its id is in their
// name) no longer runs are removed first.
bool WriteFileAtomic(const std::string& path, std::string_view bytes, std::string& error);
bool WriteFileAtomic(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

// Reads a whole regular file (at most maxBytes; a longer file is an error).
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error,
                   size_t maxBytes = kDefaultMaxFileBytes);
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
                   size_t maxBytes = kDefaultMaxFileBytes);

// Creates the folder and its missing parents (mode 0777 less the umask).
bool ForceDirectories(const std::string& path, std::string& error);

bool FileExists(const std::string& path);      // a regular file (links followed)
bool DirectoryExists(const std::string& path); // a folder (links followed)

// The final target of a chain of symbolic links (at most 40), each relative target taken from
// its link's folder; the path itself when it is no link. The target need not exist. A link in a
// sticky folder everyone can write to is followed only when it belongs to the user or to the
// folder's owner; any other one fails with an error naming the path (errno EACCES).
bool ResolveSymlinks(const std::string& path, std::string& resolved, std::string& error);

} // namespace qrb::device
