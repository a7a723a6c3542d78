#include "tests/support/NetFixture.h"

#include <winsock2.h>

const char NetFixture::UPDATE_ROOT[] = "/upd";

namespace {
std::string SettingsBesideProgram() { return ExecutableDir() + "\\Update.ini"; }
}


void NetFixture::SetUp()
{
    char szTemp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", szTemp, MAX_PATH);
    m_strOriginalTemp = szTemp;
    m_tempDir = std::make_unique<CTempDir>();
    m_installDir = std::make_unique<CTempDir>();
    SetTempDir(m_tempDir->Path() + "\\");
    m_server = std::make_unique<CLoopbackServer>();
}

void NetFixture::TearDown()
{
    m_backlog.reset();
    m_server.reset();
    DeleteFileA(SettingsBesideProgram().c_str());
    m_installDir.reset();
    m_tempDir.reset();
    SetProcessTempDir(m_strOriginalTemp);
}

void NetFixture::WriteInstalledSettings(const std::string& fileList, const std::string& sections, unsigned short nPort)
{
    const std::string text = "[SystemInfo]\nServer=127.0.0.1\nPort=" + std::to_string(nPort ? nPort : m_server->Port()) +
                             "\nFileList=" + fileList + "\n[Update]\nUpdateInfo=" + UPDATE_ROOT + "\n" + sections;
    ASSERT_TRUE(WriteWholeFile(SettingsBesideProgram(), Crlf(text)));
}

void NetFixture::SetTempDir(const std::string& path)
{
    m_strTempPath = path;
    SetProcessTempDir(path);
}

std::string NetFixture::VersionCopyPath() const
{
    return m_strTempPath + "\\Update.ini";
}

unsigned short NetFixture::ClosedPort()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int nLength = sizeof addr;
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &nLength);
    closesocket(s);
    WSACleanup();
    return ntohs(addr.sin_port);
}

unsigned short NetFixture::PortFor(Server server)
{
    m_backlog.reset();
    switch (server) {
    case Server::Refused:
        return ClosedPort();
    case Server::BacklogFull:
        m_backlog = std::make_unique<CBacklogFullListener>();
        return m_backlog->IsFull() ? m_backlog->Port() : 0;
    case Server::Reply:
        break;
    }
    return m_server->Port();
}
