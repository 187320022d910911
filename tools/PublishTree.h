#pragma once
// One file of a server tree being published: DIR/folder/name. The bytes go
// to a new file of a unique name in DIR/folder, which takes the name in one
// rename only when everything is ready (a server never serves half a
// build). DIR is the vendor's to name (a link there is followed); nothing
// inside it is followed on Linux: a folder that is a link is refused, and
// the rename replaces a file or link of the name itself, never its target.
// The platform parts live in PublishTree_host.cpp and PublishTree_win.cpp.

#include "common/UniqueOwner.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum PublishResult {
    kPublishOk = 0,
    kPublishNoDir = 1,     // DIR is missing or no directory
    kPublishLinkedDir = 2, // DIR/folder is a link or no directory
    kPublishFailed = 3,    // cannot be made, written or renamed
};

struct CPublishFileTraits : CNullEmptyTraits<void*> {
    static void close(void* handle);
};

// Not copyable; a file not committed is removed by the destructor.
class CPublishFile {
public:
    CPublishFile() = default;
    CPublishFile(const CPublishFile&) = delete;
    CPublishFile& operator=(const CPublishFile&) = delete;
    ~CPublishFile() { discard(); }

    // Makes DIR/folder when missing and a new file in it. A PublishResult.
    int open(const std::string& dir, const std::string& folder);
    bool write(const void* data, std::size_t size);
    // Exactly size bytes of what was written, from offset.
    bool readAt(std::uint64_t offset, void* buf, std::size_t size);
    // Flushes the file and gives it the name in its folder. A PublishResult.
    int commit(const std::string& name);
    // Removes the file unless it was committed.
    void discard();
    // An id of the folder (device and node, or volume and index): two
    // spellings of one folder (max, Max on a volume that ignores case) give
    // the same id.
    const std::string& folderId() const { return m_folderId; }

private:
    CUniqueOwner<CPublishFileTraits> m_file;
    CUniqueOwner<CPublishFileTraits> m_folder; // Linux: the folder's descriptor
    std::string m_folderPath;
    std::string m_temp; // the file's name in its folder until commit
    std::string m_folderId;
    bool m_bCommitted = false;
};
