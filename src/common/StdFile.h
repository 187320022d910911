#pragma once
// An owner for a C stream: closes it when it goes, unless close() was
// called. close() reports whether the stream's last writes reached the file.
// Portable.

#include "common/UniqueOwner.h"

#include <cstdio>

struct CStdFileTraits : CNullEmptyTraits<std::FILE*> {
    static void close(std::FILE* f) { std::fclose(f); }
};

class CStdFile {
public:
    CStdFile() = default;
    CStdFile(const char* path, const char* mode) : m_f(std::fopen(path, mode)) {}
    std::FILE* get() const { return m_f.get(); }
    explicit operator bool() const { return static_cast<bool>(m_f); }
    // Closes the stream now. False when there was none or the close failed
    // (data still buffered could not be written).
    bool close()
    {
        std::FILE* f = m_f.release();
        return f && std::fclose(f) == 0;
    }

private:
    CUniqueOwner<CStdFileTraits> m_f;
};
