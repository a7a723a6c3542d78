// CInternetHandle: the one owner of a WinINet handle (session, connection or
// request). Non-copyable, movable; the destructor closes the handle.
#pragma once
#include <windows.h>
#include <wininet.h>

class CInternetHandle {
public:
    CInternetHandle() = default;
    explicit CInternetHandle(HINTERNET hInternet) : m_hInternet(hInternet) {}
    ~CInternetHandle() { Close(); }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    CInternetHandle(CInternetHandle&& other) noexcept : m_hInternet(other.m_hInternet) { other.m_hInternet = nullptr; }
    CInternetHandle& operator=(CInternetHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_hInternet = other.m_hInternet;
            other.m_hInternet = nullptr;
        }
        return *this;
    }

    // Safe to repeat.
    void Close()
    {
        if (m_hInternet) {
            InternetCloseHandle(m_hInternet);
            m_hInternet = nullptr;
        }
    }
    operator HINTERNET() const { return m_hInternet; }

private:
    HINTERNET m_hInternet = nullptr;
};
