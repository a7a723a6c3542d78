// The version check: fetches the server's copy of the settings file into the
// temporary directory, reads every item's served version from it and marks
// the items that are newer there.
#include "ui/UpdateDlg.h"
#include "framework/Crypto.h"
#include "settings/SecuritySettings.h"
#include "settings/SettingsFile.h"
#include "transfer/HttpExchange.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char STATUS_CONNECTING[] = "正在连接到服务器...";
const char STATUS_READING[] = "读取版本信息...";
const char STATUS_CONNECT_FAILED[] = "连接服务器失败！";
const char STATUS_NEWER_FOUND[] = "发现新的版本:";
const char STATUS_UP_TO_DATE[] = "您现在用的版本已是最新的！";
const char STATUS_SIGNATURE_FAILED[] = "签名校验失败！";
const char SIGNATURE_SUFFIX[] = ".sig";
// A signature is 88 base64 characters; a body longer than this is not one.
const size_t SIGNATURE_BODY_LIMIT = 1024;
// One header line: its name is Content-Type, the rest is its value.
const char VERSION_REQUEST_HEADER[] = "Content-Type: text/xml;charset=utf-8;User-Agent:Kelp Client";
const UINT READ_PIECE = 2048;

// Where the check's requests go: the server, its port and the request flags.
struct VersionServer {
    CString strServer;
    INTERNET_PORT nPort;
    DWORD dwFlags;
};

// Copies the body into the open file, hashing every piece as it is written;
// the number of bytes received.
ULONGLONG CopyBody(CHttpFile& request, CFile& file, CSha256& digest)
{
    char buffer[READ_PIECE];
    ULONGLONG ullReceived = 0;
    UINT nRead;
    while ((nRead = request.Read(buffer, sizeof buffer)) > 0) {
        ullReceived += nRead;
        file.Write(buffer, nRead);
        digest.Update(buffer, nRead);
    }
    return ullReceived;
}

// Stores the body as the temporary copy; TRUE when the whole body was kept.
// A copy that cannot be created is a file error (nothing is written). A copy
// cut short - a failed read or write, or fewer or more bytes than announced -
// is deleted, so that no item reads as newer from it and no later run
// installs half a settings file.
BOOL StoreVersionCopy(CHttpFile& request, const CString& strCopy, CSha256& digest)
{
    CStdioFile file;
    CFileException error;
    if (!file.Open(strCopy, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary, &error))
        throw error;

    ULONGLONG ullReceived = 0;
    try {
        ullReceived = CopyBody(request, file, digest);
        file.Close();
    } catch (...) {
        file.Abort();
        DeleteFileA(strCopy);
        throw;
    }
    ULONGLONG ullAnnounced = 0;
    if (QueryAnnouncedLength(request, ullAnnounced) && ullAnnounced != ullReceived) {
        DeleteFileA(strCopy);
        return FALSE;
    }
    return TRUE;
}

// The signature's body as served: FALSE when it cannot be had (the request
// fails, the body is far longer than a signature).
BOOL FetchSignature(const VersionServer& server, const CString& strPath, std::string& strBody)
{
    try {
        CHttpExchange exchange(server.strServer, server.nPort, strPath, server.dwFlags);
        exchange.Request().SendRequest();
        char buffer[READ_PIECE];
        UINT nRead;
        while ((nRead = exchange.Request().Read(buffer, sizeof buffer)) > 0) {
            strBody.append(buffer, nRead);
            if (strBody.size() > SIGNATURE_BODY_LIMIT)
                return FALSE;
        }
        exchange.Close();
        return TRUE;
    } catch (...) {
        // Whatever went wrong, there is no signature to check.
        return FALSE;
    }
}

// The text without blanks, tabs and line breaks at either end (a signature
// file written by hand or by a tool usually ends with a line break).
std::string TrimBlanks(const std::string& strText)
{
    const char BLANKS[] = " \t\r\n";
    const size_t nFirst = strText.find_first_not_of(BLANKS);
    if (nFirst == std::string::npos)
        return std::string();
    return strText.substr(nFirst, strText.find_last_not_of(BLANKS) - nFirst + 1);
}

// TRUE when the served signature (base64 of r then s) verifies the copy's
// digest under the pinned key. A malformed key verifies nothing.
BOOL SignatureVerifies(const CSecuritySettings& security, const std::string& strSignature,
                       const BYTE digest[CSha256::DIGEST_SIZE])
{
    std::vector<BYTE> signature;
    return security.KeyValid() && Base64Decode(TrimBlanks(strSignature).c_str(), signature) &&
           signature.size() == 64 && VerifyEcdsaP256(security.PublicKey(), digest, signature.data());
}

// TRUE when the copy just stored whole is signed by the pinned key: the
// signature is fetched from strSignaturePath and checked against the digest
// of the bytes written.
BOOL VersionCopySigned(const CSecuritySettings& security, BOOL bStored, CSha256& digest, const VersionServer& server,
                       const CString& strSignaturePath)
{
    BYTE hash[CSha256::DIGEST_SIZE];
    if (!bStored || !digest.Finish(hash))
        return FALSE;
    std::string strSignature;
    return FetchSignature(server, strSignaturePath, strSignature) &&
           SignatureVerifies(security, strSignature, hash);
}

// Reads each item's served version from the copy and marks the newer ones.
BOOL MarkNewerItems(CUpdateFileArray& arrFiles, const CString& strCopy)
{
    BOOL bNewer = FALSE;
    const INT_PTR nCount = arrFiles.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i) {
        UpdateFileInfo& info = arrFiles[i];
        info.strServerVersion = ReadSetting(info.strSection, "CurrentVersion", info.strLocalVersion,
                                            SETTINGS_SERVER_VERSION_BUFFER, strCopy);
        info.bNeedUpdate = atof(info.strLocalVersion) < atof(info.strServerVersion);
        if (info.bNeedUpdate)
            bNewer = TRUE;
    }
    return bNewer;
}

// Nothing reads as newer: every item keeps its installed version.
void MarkNothingNewer(CUpdateFileArray& arrFiles)
{
    const INT_PTR nCount = arrFiles.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i) {
        arrFiles[i].strServerVersion = arrFiles[i].strLocalVersion;
        arrFiles[i].bNeedUpdate = FALSE;
    }
}

// Whether the temporary copy may be compared.
enum CopyVerdict {
    COPY_COMPARABLE,  // no key is pinned, or the copy is signed by it
    COPY_UNCHECKED,   // a key is pinned and the server was out of reach
    COPY_UNSIGNED,    // a key is pinned and the copy is not signed by it
};

// Under a pinned key only a copy fetched now and signed by that key is
// compared. An earlier copy cannot be checked: when the server is out of
// reach it is not compared either, and no signature is requested.
CopyVerdict JudgeVersionCopy(const CSecuritySettings& security, BOOL bServerUnreachable, BOOL bStored,
                             CSha256& digest, const VersionServer& server, const CString& strVersionPath)
{
    if (!security.KeyPinned())
        return COPY_COMPARABLE;
    if (bServerUnreachable)
        return COPY_UNCHECKED;
    return VersionCopySigned(security, bStored, digest, server, strVersionPath + SIGNATURE_SUFFIX) ? COPY_COMPARABLE
                                                                                                  : COPY_UNSIGNED;
}

// One list line per item: its name, installed version, "-->" and served version.
void ListVersions(CListBox& listFiles, const CUpdateFileArray& arrFiles)
{
    listFiles.ResetContent();
    const INT_PTR nCount = arrFiles.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i) {
        const UpdateFileInfo& info = arrFiles[i];
        listFiles.AddString(info.strLocalFile + " " + info.strLocalVersion + "-->" + info.strServerVersion);
    }
}

}  // namespace

BOOL CUpdateDlg::CheckVersions()
{
    m_bServerUnreachable = FALSE;
    m_bSignatureFailed = FALSE;
    m_bCheckFailed = FALSE;
    m_strStatus = STATUS_CONNECTING;
    RefreshControls(FALSE);

    const CSecuritySettings security(InstalledSettingsPath(m_strAppDir));
    const VersionServer server = {m_strServer, security.Port(m_nPort), security.RequestFlags(m_dwRequestFlags)};
    const CString strCopy = ServerCopyPath(m_strTempDir);

    // 1. The server's copy, stored whole or not at all.
    CSha256 digest;
    const BOOL bStored = FetchVersionCopy(server.nPort, server.dwFlags, strCopy, digest);
    m_bCheckFailed = !bStored && !m_bServerUnreachable;

    // 2. Whether the copy may be compared; a copy that may not is dropped.
    const CopyVerdict verdict = JudgeVersionCopy(security, m_bServerUnreachable, bStored, digest, server, m_strVersionPath);
    if (verdict != COPY_COMPARABLE) {
        DeleteFileA(strCopy);
        MarkNothingNewer(m_arrFiles);
    }
    if (verdict == COPY_UNSIGNED) {
        m_bSignatureFailed = TRUE;
        ShowCheckOutcome(STATUS_SIGNATURE_FAILED, FALSE);
        return FALSE;
    }

    // 3. The newer items marked, 4. the outcome shown.
    const BOOL bNewer = verdict == COPY_COMPARABLE && MarkNewerItems(m_arrFiles, strCopy);
    if (bNewer)
        ListVersions(m_listFiles, m_arrFiles);
    ShowCheckOutcome(bNewer ? STATUS_NEWER_FOUND : STATUS_UP_TO_DATE, bNewer);
    return bNewer;
}

// The guarded block: connects, sends the request and stores its body as the
// temporary copy. TRUE when the copy was stored whole. A network error is
// shown to nobody (the comparison decides); one before the request was sent
// means the server could not be reached. Any other error is reported on the
// status line.
BOOL CUpdateDlg::FetchVersionCopy(INTERNET_PORT nPort, DWORD dwFlags, const CString& strCopy, CSha256& digest)
{
    CHttpExchange exchange(m_strServer, nPort, m_strVersionPath, dwFlags);
    exchange.Request().AddRequestHeaders(VERSION_REQUEST_HEADER, HTTP_ADDREQ_FLAG_ADD_IF_NEW, -1);
    BOOL bSent = FALSE;
    BOOL bStored = FALSE;
    try {
        exchange.Request().SendRequest();
        bSent = TRUE;
        m_strStatus = STATUS_READING;
        RefreshControls(FALSE);
        bStored = StoreVersionCopy(exchange.Request(), strCopy, digest);
    } catch (const CInternetException&) {
        m_bServerUnreachable = !bSent;
    } catch (...) {
        m_strStatus = STATUS_CONNECT_FAILED;
        RefreshControls(FALSE);
    }
    exchange.Close();
    return bStored;
}

// The check's last word: the status line and the wizard button, which offers
// the update only when something is newer.
void CUpdateDlg::ShowCheckOutcome(const char* pszStatus, BOOL bNewer)
{
    m_strStatus = pszStatus;
    RefreshControls(FALSE);
    m_btnNext.SetWindowText(CAPTION_UPDATE);
    if (!bNewer)
        m_btnNext.EnableWindow(FALSE);
}
