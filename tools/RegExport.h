#pragma once
// A registry export file, the text a registry editor writes ("Windows
// Registry Editor Version 5.00" in UTF-16LE with a byte-order mark, or
// "REGEDIT4" in the ANSI code page), read into a list of keys and values
// under the local-machine root. It stands for the installed state of a
// machine when the release tool runs the product check away from it, so
// every line reads as the registry editor imports it (regedit /s):
//
//  - The first line is the header, after spaces or tabs, exactly.
//  - Other lines start, after spaces or tabs, with "[" (a key), "@" or a
//    quote (a value); every other line is skipped: comments (";", "#"),
//    blank lines, and anything else, which is listed in warnings().
//  - "[HKEY_LOCAL_MACHINE\path]" opens a key (the root name in any case,
//    never abbreviated); text after the last "]" is ignored. The keys above
//    it exist too. Keys under another root are left out and listed in
//    warnings(); a root the editor does not know opens no key, and the
//    values after it are skipped. A "[" line without "]", or with a space
//    after "[", is skipped and the key before stays open.
//  - "[-HKEY_LOCAL_MACHINE\path]" removes the key and everything below it
//    from what was read so far; values after it are skipped until the next
//    key. Removing a root, or a key under no root, stops the editor there:
//    parse fails.
//  - "name"="text" sets a string value: inside the quotes "\\", "\"", "\n"
//    and "\r" stand for a backslash, a quote, LF and CR; "\0" spoils the
//    line. "@" names the default value. Spaces around "=" do not count; a
//    ";" comment may follow the value.
//  - hex(1): and hex(2): values (REG_SZ, REG_EXPAND_SZ) are strings too:
//    their bytes are UTF-16LE text in a UTF-16 file, ANSI text in an ANSI
//    one, ending at the first terminator; the editor adds the terminator
//    when the data lacks it. Empty data stays an empty value, which the
//    program reads as missing. The program reads an expandable string as
//    it is, unexpanded.
//  - dword:, hex: and other hex(n): values exist but are not strings, so
//    the program reads them as missing. "name"=- removes a value.
//  - A hex value continues on the next line when its line ends in "\"
//    (a ";" comment may follow it); blank and comment lines between are
//    skipped; a continuation line that does not start with a hex digit
//    drops the value and is itself skipped. Only hex values continue: a
//    comment ending in "\" is just a comment.
//  - A line that is none of these is skipped and listed in warnings(), as
//    the editor skips it.
// UTF-16 text is turned into the bytes of an ANSI code page, as the
// program's narrow reads give them on a machine of that page: Windows-1252
// (Western) unless setCodePage names another (RegExportText.h); a
// character outside it becomes "?". ANSI files are taken as bytes, in the
// page of the machine that wrote them.
//
// The reader streams: memory grows with the keys and values kept, not with
// the file, and each line costs time in proportion to its length (keys are
// found through an index of their paths without regard to case). Its three
// parts: the bytes and lines (RegExportDecode.cpp), the line grammar
// (RegExportGrammar.cpp), the key tree and the arena (RegExportTree.cpp).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

enum RegExportResult {
    kRegExportOk = 0,
    kRegExportNoHeader = 1,   // the first line is not an export header
    kRegExportMalformed = 2,  // a line at which the editor stops; see error()
    kRegExportUnreadable = 3, // the file cannot be opened or read (parseFile)
};

// Memory for a whole export in a few large blocks (LargeBlock.h), never
// moved and given back all at once: a value, a path or a key's record
// costs its bytes, not an allocation of its own.
class CArena {
public:
    CArena() = default;
    CArena(const CArena&) = delete;
    CArena& operator=(const CArena&) = delete;
    ~CArena();

    // bytes of memory aligned to align (at most that of any type); throws
    // std::bad_alloc when there is none.
    void* allocate(std::size_t bytes, std::size_t align);
    // A lasting copy of text, followed by a zero byte.
    std::string_view keep(std::string_view text);

private:
    struct Block {
        void* data;
        std::size_t size;
    };
    std::vector<Block> m_blocks;
    char* m_next = nullptr;
    std::size_t m_left = 0;
};

// The standard containers' memory from an arena; without one (a record
// made outside a reader) from the heap. Giving memory back to the arena
// does nothing: it all goes when the arena goes.
template <class T> struct CArenaAllocator {
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_copy_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;

    CArenaAllocator() noexcept = default;
    explicit CArenaAllocator(CArena* a) noexcept : arena(a) {}
    template <class U> CArenaAllocator(const CArenaAllocator<U>& other) noexcept : arena(other.arena) {}
    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        return arena ? static_cast<T*>(arena->allocate(n * sizeof(T), alignof(T))) : std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (!arena)
            std::allocator<T>().deallocate(p, n);
    }
    template <class U> bool operator==(const CArenaAllocator<U>& other) const noexcept { return arena == other.arena; }
    template <class U> bool operator!=(const CArenaAllocator<U>& other) const noexcept { return arena != other.arena; }

    CArena* arena = nullptr;
};

// Texts are views of the export's arena (CRegExport keeps them while it
// lives); each is followed by a zero byte there.
struct RegExportValue {
    std::string_view name; // as first written ("" for the default value)
    bool bString;          // false for dword and hex values, and empty hex strings
    std::string_view text; // the string's bytes
};

using RegExportValues = std::vector<RegExportValue, CArenaAllocator<RegExportValue>>;

struct RegExportKey {
    std::string_view path; // below the local-machine root, as first written
    RegExportValues values;
};

using RegExportKeys = std::vector<RegExportKey, CArenaAllocator<RegExportKey>>;

class CRegExport {
public:
    // The ANSI code page UTF-16 text is narrowed to, for every parse after
    // (1252 unless set); false, and nothing changes, for a page the reader
    // does not know (isNarrowCodePage).
    bool setCodePage(unsigned codePage);
    // Parses a whole file's bytes, replacing what was read before.
    int parse(const std::string& bytes);
    // Parses the file at path in blocks.
    int parseFile(const std::string& path);

    // The same in steps: begin, feed the bytes in pieces of any size, and
    // finish. feed returns kRegExportOk or the failure (later feeds are
    // then ignored); finish returns the result of the whole file.
    // sizeHint: the file's size, when known.
    void begin(std::size_t sizeHint = 0);
    int feed(const char* data, std::size_t size);
    int finish();

    // Keys in the order they were first named (again after a removal);
    // keys above them that were never named themselves are not listed.
    const RegExportKeys& keys() const { return m_keys; }
    // "line N: ..." for each key left out and each line skipped (the
    // first kMaxWarnings of them, then one line with the count of the rest).
    const std::vector<std::string>& warnings() const { return m_warnings; }
    // "line N: ..." for the line that made parse fail.
    const std::string& error() const { return m_error; }

    static constexpr std::size_t kMaxWarnings = 100;

    // After parse: the position in keys() of the key at path (matched
    // without regard to ASCII case), kImplied for a key that exists only
    // because keys below it were named, kMissing for none.
    static constexpr int kImplied = -2;
    static constexpr int kMissing = -1;
    int lookup(const std::string& path) const;

private:
    void addChar(char c);
    void endLine();
    void onLine(const std::string& line);
    void onKeyLine(const std::string& line, std::size_t pos);
    void onValueLine(const std::string& line, std::size_t pos);
    void onHexLine(std::string_view line, std::size_t pos);
    void setHexValue(bool terminate);
    void decodeByte(unsigned char b);
    void addNarrow(unsigned cp);
    void setValue(std::string_view name, bool bString, std::string_view text);
    void removeValue(std::string_view name);
    std::size_t slotFor(std::string_view path, bool named);
    void removeKey(const std::string& path);
    void closeTree(); // at finish: the keys kept, in order
    void warn(const std::string& what);
    void fail(const std::string& what);

    // First, so that it goes last: everything below may live in it.
    std::unique_ptr<CArena> m_arena = std::make_unique<CArena>();
    RegExportKeys m_keys{CArenaAllocator<RegExportKey>(m_arena.get())};
    std::vector<std::string> m_warnings;
    std::string m_error;

    // While reading: every key, named or only above a named one, live or
    // removed (its path and values in m_keyData, at the same place), and
    // the index of the live ones by path, without regard to ASCII case.
    struct Slot {
        // Slots of 32 bits (kNoLink for none) keep a whole machine's tree small.
        std::uint32_t parent;
        std::uint32_t firstChild; // the others follow through nextSibling
        std::uint32_t nextSibling;
        bool bNamed;
        bool bLive;
        // For a key of many values: their positions by folded name.
        std::unique_ptr<std::unordered_map<std::string, std::size_t>> byName;
    };
    struct FoldedHash {
        std::size_t operator()(std::string_view s) const; // not noexcept: the index keeps each hash
    };
    struct FoldedEqual {
        bool operator()(std::string_view a, std::string_view b) const noexcept;
    };
    std::size_t newSlot(std::string_view path, std::size_t parent);
    std::size_t parentOf(std::string_view path, std::size_t cut);
    std::size_t findValue(std::size_t at, std::string_view name) const;
    std::string_view keptName(std::string_view name);
    std::unordered_set<std::string_view> m_names; // value names in the arena: most keys share a few
    std::vector<Slot, CArenaAllocator<Slot>> m_slots{CArenaAllocator<Slot>(m_arena.get())};
    RegExportKeys m_keyData{CArenaAllocator<RegExportKey>(m_arena.get())};
    using IndexEntry = std::pair<const std::string_view, std::size_t>;
    std::unordered_map<std::string_view, std::size_t, FoldedHash, FoldedEqual, CArenaAllocator<IndexEntry>> m_index{
        0, FoldedHash(), FoldedEqual(), CArenaAllocator<IndexEntry>(m_arena.get())};
    std::vector<int> m_position; // after finish: a slot's position in m_keys, or kImplied
    static constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
    static constexpr std::uint32_t kNoLink = 0xFFFFFFFFu;
    static std::uint32_t link(std::size_t at) { return at == kNoKey ? kNoLink : static_cast<std::uint32_t>(at); }
    static std::size_t unlink(std::uint32_t at) { return at == kNoLink ? kNoKey : at; }
    std::size_t m_current = kNoKey; // key the values go to, kNoKey to skip them
    std::size_t m_last = kNoKey;    // the key created last: exports name keys below the one before

    // Decoding and line state.
    int m_result = kRegExportOk;
    int m_stage = 0;            // 0 before the byte-order mark was decided, 1 after
    bool m_bUnicode = false;    // the file is UTF-16: hex string data is UTF-16LE
    unsigned m_codePage = 1252; // UTF-16 text is narrowed to it
    std::string m_narrow;       // scratch: one character narrowed
    std::string m_head;         // first bytes while the mark is being decided
    int m_oddByte = -1;         // UTF-16: the first byte of a unit not yet complete
    unsigned m_highSurrogate = 0;
    bool m_bAfterCR = false;  // a LF right after CR ends no second line
    bool m_bLineOpen = false; // characters since the last line end
    std::string m_line;
    long m_lineNo = 0;
    bool m_bHeaderSeen = false;
    bool m_bKeySeen = false;
    std::size_t m_moreWarnings = 0;

    // A hex value being read over several lines.
    bool m_bInHex = false;
    unsigned long m_hexType = 0;
    std::string m_hexName;
    std::string m_hexData;
    std::string m_name, m_text; // scratch: the value line being read
};
