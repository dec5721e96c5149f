#pragma once
// File access shared by every writer and reader of the program.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace qrb::device {

// Largest file ReadFileBytes accepts unless told otherwise.
inline constexpr size_t kDefaultMaxFileBytes = 256u * 1024u * 1024u;

// Replaces the file at path with bytes: writes a temporary file in the target's folder and
// renames it over the target, so the old content stays whole when anything fails. The path is
// taken by TPathWalk, and the temporary file is made, written, flushed and renamed in the folder
// the walk holds, so no name can be swapped in between; a link as the last name is followed to
// its final target, which is replaced (a missing target is made). An existing target keeps its
// permission bits (a new one gets 0666 less the umask); one that is not a regular file is refused.
// The temporary file is flushed to disk before the rename and the folder after it. On failure the
// temporary file is removed, error says why, errno holds the reason (EACCES for a link that is not
// followed) and the result is false. Temporary files of earlier saves of the same target whose
// process (its id is in their name) no longer runs are removed first.
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

// A path taken name by name as the kernel takes it, from the root or the current folder, with
// each folder held open (O_PATH, so that a folder the user may search but not read passes), so
// that what was judged is what a caller then works in. A link met at any name is followed only
// where the kernel's protected_symlinks rule would follow it, whatever the machine's setting: in
// a sticky folder everyone can write to, only a link of the user or of the folder's owner. Each
// step of a chain counts (at most 40 links); ".." after a link goes up from the link's target, as
// the kernel takes it.
class TPathWalk {
public:
    // Sees the status of every folder the walk holds (the first one too) and of every link it
    // follows.
    using TObserver = std::function<void(const struct stat&)>;

    TPathWalk() = default;
    ~TPathWalk();
    TPathWalk(const TPathWalk&) = delete;
    TPathWalk& operator=(const TPathWalk&) = delete;

    // False with error (naming path and, for a link not followed, that link), errno set, when a
    // name cannot be taken. A missing last name is no failure: it is the file to be made.
    bool Walk(const std::string& path, std::string& error, const TObserver& observer = {});

    int Folder() const { return folder_; } // the last folder (O_PATH), -1 after a failure
    const struct stat& FolderStatus() const { return folderStatus_; } // the last folder's status
    const std::string& Name() const { return name_; } // the last name in it; empty: the path is a folder
    std::string FolderPath() const;                   // the last folder, every link and ".." resolved
    std::string PhysicalPath() const;                 // the file, every link and ".." resolved
    bool LinkRefused() const { return linkRefused_; } // the walk failed at a link it may not follow

private:
    void Reset();
    void Hold(int fd);
    std::string InFolder(const std::string& name) const; // name in the folder held, as a path

    int folder_ = -1;
    struct stat folderStatus_ {};
    std::vector<std::string> folders_;
    std::string name_;
    bool linkRefused_ = false;
};

} // namespace qrb::device
