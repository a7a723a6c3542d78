// CArray: an ordered, growable array holding its elements by value.
#pragma once
#include <windows.h>
#include <vector>

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray {
public:
    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_data.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    BOOL IsEmpty() const { return m_data.empty(); }

    const TYPE& GetAt(INT_PTR nIndex) const { return m_data.at(nIndex); }
    TYPE& ElementAt(INT_PTR nIndex) { return m_data.at(nIndex); }
    void SetAt(INT_PTR nIndex, ARG_TYPE newElement) { m_data.at(nIndex) = newElement; }
    const TYPE& operator[](INT_PTR nIndex) const { return GetAt(nIndex); }
    TYPE& operator[](INT_PTR nIndex) { return ElementAt(nIndex); }

    // Appends one element; returns its index.
    INT_PTR Add(ARG_TYPE newElement) { m_data.push_back(newElement); return GetSize() - 1; }
    void RemoveAll() { m_data.clear(); }

private:
    std::vector<TYPE> m_data;
};
