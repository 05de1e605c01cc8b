#pragma once

#include <functional>

// A page of the window made the first time it is used rather than with the window: the login
// page is all a start shows, and building the others then would only delay the first picture.
// Used like a pointer; the first use (->, get()) runs the maker, which must not use this object.
template <class T>
class LazyPage
{
public:
    void setMaker(std::function<T *()> make) { m_make = std::move(make); }
    T *get() const
    {
        if (!m_page)
            m_page = m_make();
        return m_page;
    }
    T *operator->() const { return get(); }
    // Whether the page exists yet; looks without making it.
    bool built() const { return m_page != nullptr; }

private:
    std::function<T *()> m_make;
    mutable T *m_page = nullptr;
};
