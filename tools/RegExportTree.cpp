// Reading a registry export, part three: the key tree. Every key named and
// every key above it, found by path without regard to case, removed with
// everything below it, its values replaced by name; all in one arena.
#include "RegExport.h"
#include "LargeBlock.h"

#include "common/TextHelpers.h"

#include <cstdint>
#include <cstring>

CArena::~CArena()
{
    for (const Block& b : m_blocks)
        freeLargeBlock(b.data, b.size);
}

void* CArena::allocate(std::size_t bytes, std::size_t align)
{
    std::size_t pad = (align - reinterpret_cast<std::uintptr_t>(m_next) % align) % align;
    if (m_left < pad || m_left - pad < bytes) {
        // Blocks grow with the export, from 64 KiB for a small file to
        // 8 MiB: few blocks for a whole machine, little waste for a test.
        static const std::size_t kFirst = 1 << 16, kLargest = 1 << 23;
        std::size_t size = m_blocks.empty() ? kFirst : m_blocks.back().size * 2;
        if (size > kLargest)
            size = kLargest;
        if (bytes > size - align)
            size = (bytes + align + kFirst - 1) / kFirst * kFirst;
        if (size < bytes)
            throw std::bad_alloc();
        m_blocks.reserve(m_blocks.size() + 1);
        void* data = allocateLargeBlock(size);
        if (!data)
            throw std::bad_alloc();
        m_blocks.push_back(Block{data, size});
        m_next = static_cast<char*>(data);
        m_left = size;
        pad = (align - reinterpret_cast<std::uintptr_t>(m_next) % align) % align;
    }
    char* at = m_next + pad;
    m_next = at + bytes;
    m_left -= pad + bytes;
    return at;
}

std::string_view CArena::keep(std::string_view text)
{
    char* at = static_cast<char*>(allocate(text.size() + 1, 1));
    if (!text.empty())
        std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
    return std::string_view(at, text.size());
}
std::size_t CRegExport::FoldedHash::operator()(std::string_view s) const
{
    std::size_t h = 14695981039346656037ull & static_cast<std::size_t>(-1);
    for (char c : s)
        h = (h ^ static_cast<unsigned char>(asciiLower(c))) * static_cast<std::size_t>(1099511628211ull);
    return h;
}

bool CRegExport::FoldedEqual::operator()(std::string_view a, std::string_view b) const noexcept
{
    return equalNoCaseAscii(a, b);
}

std::size_t CRegExport::findValue(std::size_t at, std::string_view name) const
{
    const RegExportValues& values = m_keyData[at].values;
    const Slot& slot = m_slots[at];
    if (slot.byName) {
        auto found = slot.byName->find(asciiFolded(std::string(name)));
        return found == slot.byName->end() ? values.size() : found->second;
    }
    std::size_t i = 0;
    while (i < values.size() && !equalNoCaseAscii(values[i].name, name))
        ++i;
    return i;
}

void CRegExport::setValue(std::string_view name, bool bString, std::string_view text)
{
    static const std::size_t kIndexed = 16; // a key with more values gets an index of their names
    Slot& slot = m_slots[m_current];
    RegExportValues& values = m_keyData[m_current].values;
    std::size_t at = findValue(m_current, name);
    std::string_view kept = bString ? m_arena->keep(text) : std::string_view();
    if (at < values.size()) {
        // The registry keeps a value's first spelling.
        values[at] = RegExportValue{values[at].name, bString, kept};
        return;
    }
    if (values.empty())
        values.reserve(4); // a key of an installed product holds a few
    values.push_back(RegExportValue{keptName(name), bString, kept});
    if (slot.byName) {
        slot.byName->emplace(asciiFolded(std::string(values.back().name)), at);
    } else if (values.size() > kIndexed) {
        slot.byName.reset(new std::unordered_map<std::string, std::size_t>());
        for (std::size_t i = 0; i < values.size(); ++i)
            slot.byName->emplace(asciiFolded(std::string(values[i].name)), i);
    }
}

void CRegExport::removeValue(std::string_view name)
{
    Slot& slot = m_slots[m_current];
    RegExportValues& values = m_keyData[m_current].values;
    std::size_t at = findValue(m_current, name);
    if (at == values.size())
        return;
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(at));
    if (slot.byName) {
        slot.byName->clear();
        for (std::size_t i = 0; i < values.size(); ++i)
            slot.byName->emplace(asciiFolded(std::string(values[i].name)), i);
    }
}

std::string_view CRegExport::keptName(std::string_view name)
{
    auto found = m_names.find(name);
    return found != m_names.end() ? *found : *m_names.insert(m_arena->keep(name)).first;
}

std::size_t CRegExport::newSlot(std::string_view path, std::size_t parent)
{
    std::size_t at = m_slots.size();
    if (at >= kNoLink)
        throw std::bad_alloc(); // four billion keys: far beyond any memory
    std::uint32_t sibling = parent == kNoKey ? kNoLink : m_slots[parent].firstChild;
    m_slots.push_back(Slot{link(parent), kNoLink, sibling, false, true, nullptr});
    m_keyData.push_back(RegExportKey{path, RegExportValues(m_keyData.get_allocator())});
    if (parent != kNoKey)
        m_slots[parent].firstChild = link(at);
    m_last = at;
    return at;
}

std::size_t CRegExport::parentOf(std::string_view path, std::size_t cut)
{
    // Exports list a key's parent just before it, or one of the keys above
    // the key before: that chain is looked at first.
    std::string_view wanted = path.substr(0, cut);
    for (std::size_t s = m_last; s != kNoKey && m_slots[s].bLive; s = unlink(m_slots[s].parent)) {
        std::string_view above = m_keyData[s].path;
        if (above.size() == cut && equalNoCaseAscii(above, wanted))
            return s;
        if (above.size() < cut)
            break;
    }
    return slotFor(wanted, false);
}

std::size_t CRegExport::slotFor(std::string_view path, bool named)
{
    auto found = m_index.find(path);
    if (found == m_index.end()) {
        // A new key: the keys above it exist too, as the registry creates
        // them (at most one level of them per backslash of the path).
        std::string_view kept = m_arena->keep(path);
        std::size_t cut = kept.rfind('\\');
        std::size_t parent = cut == std::string_view::npos || cut == 0 ? kNoKey : parentOf(kept, cut);
        std::size_t at = newSlot(kept, parent); // the keys above came first
        found = m_index.emplace(kept, at).first;
    }
    std::size_t at = found->second;
    if (named)
        m_slots[at].bNamed = true;
    return at;
}

void CRegExport::removeKey(const std::string& path)
{
    // The key and every key below it; each key is removed once, so all
    // removals together cost no more than the keys read.
    auto found = m_index.find(path);
    if (found == m_index.end())
        return;
    std::vector<std::size_t> pending{found->second};
    while (!pending.empty()) {
        std::size_t at = pending.back();
        pending.pop_back();
        Slot& slot = m_slots[at];
        if (!slot.bLive)
            continue;
        slot.bLive = false;
        m_index.erase(m_keyData[at].path);
        for (std::uint32_t child = slot.firstChild; child != kNoLink; child = m_slots[child].nextSibling)
            pending.push_back(child);
        m_keyData[at].values.clear();
        m_keyData[at].values.shrink_to_fit();
        slot.byName.reset();
    }
}

int CRegExport::lookup(const std::string& path) const
{
    auto found = m_index.find(path);
    if (found == m_index.end() || found->second >= m_position.size())
        return kMissing;
    return m_position[found->second];
}

void CRegExport::closeTree()
{
    // The keys named and still there, in place, in the order read.
    m_position.assign(m_slots.size(), kImplied);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i].bLive && m_slots[i].bNamed) {
            m_position[i] = static_cast<int>(kept);
            if (kept != i)
                m_keyData[kept] = std::move(m_keyData[i]);
            ++kept;
        }
    }
    m_keyData.resize(kept);
    m_keys = std::move(m_keyData);
    m_keyData = RegExportKeys(m_keyData.get_allocator());
    m_slots.clear();
}
