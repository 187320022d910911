#pragma once
// An owner for a C stream: closes it when it goes, unless close() was
// called. close() reports whether the stream's last writes reached the file.
// Portable.

#include <cstdio>
#include <utility>

class CStdFile {
public:
    CStdFile() = default;
    CStdFile(const char* path, const char* mode) : m_f(std::fopen(path, mode)) {}
    ~CStdFile()
    {
        if (m_f)
            std::fclose(m_f);
    }
    CStdFile(const CStdFile&) = delete;
    CStdFile& operator=(const CStdFile&) = delete;
    CStdFile(CStdFile&& o) noexcept : m_f(std::exchange(o.m_f, nullptr)) {}
    CStdFile& operator=(CStdFile&& o) noexcept
    {
        if (this != &o) {
            if (m_f)
                std::fclose(m_f);
            m_f = std::exchange(o.m_f, nullptr);
        }
        return *this;
    }
    std::FILE* get() const { return m_f; }
    explicit operator bool() const { return m_f != nullptr; }
    // Closes the stream now. False when there was none or the close failed
    // (data still buffered could not be written).
    bool close() { return m_f && std::fclose(std::exchange(m_f, nullptr)) == 0; }

private:
    std::FILE* m_f = nullptr;
};
