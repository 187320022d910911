#pragma once
// The one owner of a platform resource: non-copyable, movable, and the
// resource is given back exactly once, by the owner that holds it last.
// What "empty" means and how the resource is given back comes from Traits:
//
//   struct Traits {
//       using Type = ...;                 // the handle or pointer type
//       static Type invalid();            // what an empty owner holds
//       static bool valid(Type h);        // whether h must be given back
//       static void close(Type h);        // gives h back; only called when valid
//   };
//
// Portable: the kinds of the platform live in Handles.h; a portable class
// over a platform handle declares its traits in its header and defines
// them in its platform files.

#include <utility>

// Traits of a kind whose empty value is null; a kind's traits add close().
template <class T> struct CNullEmptyTraits {
    using Type = T;
    static Type invalid() { return nullptr; }
    static bool valid(Type h) { return h != nullptr; }
};

template <class Traits> class CUniqueOwner {
public:
    using Type = typename Traits::Type;

    CUniqueOwner() = default;
    explicit CUniqueOwner(Type h) : m_h(h) {}
    ~CUniqueOwner() { reset(); }
    CUniqueOwner(const CUniqueOwner&) = delete;
    CUniqueOwner& operator=(const CUniqueOwner&) = delete;
    CUniqueOwner(CUniqueOwner&& o) noexcept : m_h(o.release()) {}
    CUniqueOwner& operator=(CUniqueOwner&& o) noexcept
    {
        if (this != &o)
            reset(o.release());
        return *this;
    }

    Type get() const { return m_h; }
    explicit operator bool() const { return Traits::valid(m_h); }
    // Lets go without giving the resource back; the caller owns it now.
    Type release() { return std::exchange(m_h, Traits::invalid()); }
    // Gives back what is held and holds h instead.
    void reset(Type h = Traits::invalid())
    {
        Type old = std::exchange(m_h, h);
        if (Traits::valid(old))
            Traits::close(old);
    }
    // For a call that hands the resource out through a pointer; what was
    // held is given back first.
    Type* receive()
    {
        reset();
        return &m_h;
    }

private:
    Type m_h = Traits::invalid();
};
