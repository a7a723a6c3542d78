// CFile and CStdioFile: a Win32 file handle with the open flags and the
// error behaviour of the class library's file classes. Open reports failure
// through its result; Write and Close raise CFileException.
#pragma once
#include <windows.h>
#include <vector>
#include "framework/Exception.h"
#include "framework/String.h"

class CFile {
public:
    // Open flags (the class library's values). Access, sharing and creation
    // combine with |.
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,      // no sharing at all
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,   // others may read, not write
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,       // create, or truncate an existing file
        modeNoTruncate = 0x2000,   // with modeCreate: keep an existing file
        typeText = 0x4000,
        typeBinary = 0x8000,
    };

    CFile() = default;
    // Closes the file if it is open; never raises.
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE when the file cannot be opened (pError, if given, receives the
    // reason); never raises.
    virtual BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // Reads up to nCount bytes; the number read, 0 at the end of the file.
    virtual UINT Read(void* lpBuf, UINT nCount);
    // Writes all nCount bytes or raises CFileException.
    virtual void Write(const void* lpBuf, UINT nCount);
    // Closes the file; safe to repeat. Raises CFileException when the system
    // reports a failure while closing.
    virtual void Close();
    // Closes the file without raising.
    virtual void Abort();

    BOOL IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    const CString& GetFilePath() const { return m_strFileName; }
    operator HANDLE() const { return m_hFile; }

private:
    [[noreturn]] void ThrowLastError() const;

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    CString m_strFileName;
};

// A file written through a buffer, as a C runtime stream is: small writes are
// gathered and reach the system in pieces of BUFFER_SIZE bytes, which keeps a
// download's many 2048-byte pieces cheap. Close writes what is buffered (and
// raises when that fails); Abort and the destructor drop it. The program
// writes raw bytes only (typeBinary), so no text translation is added.
class CStdioFile : public CFile {
public:
    enum { BUFFER_SIZE = 64 * 1024 };

    UINT Read(void* lpBuf, UINT nCount) override;
    void Write(const void* lpBuf, UINT nCount) override;
    // Writes what is buffered; raises CFileException when that fails.
    void Flush();
    void Close() override;
    void Abort() override;

private:
    std::vector<char> m_buffer;  // reserved once, at the first write
};
