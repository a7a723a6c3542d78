#include "tests/support/NetFixture.h"
#include "tests/support/SettingsText.h"

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
    const SettingsTarget target = {"127.0.0.1", nPort ? nPort : m_server->Port(), UPDATE_ROOT};
    ASSERT_TRUE(WriteWholeFile(SettingsBesideProgram(), Crlf(SettingsHead(target, fileList) + sections)));
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

unsigned short NetFixture::PortFor(Server server)
{
    m_backlog.reset();
    switch (server) {
    case Server::Refused:
        return ClosedLoopbackPort();
    case Server::BacklogFull:
        m_backlog = std::make_unique<CBacklogFullListener>();
        return m_backlog->IsFull() ? m_backlog->Port() : 0;
    case Server::Reply:
        break;
    }
    return m_server->Port();
}
