// The setting of a network test: a fresh temporary directory as the process's
// TMP/TEMP (restored afterwards), an installation directory, the loopback
// server, and the installed Update.ini beside the test program pointing at
// that server.
#pragma once
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestFiles.h"

class NetFixture : public ::testing::Test {
protected:
    static const char UPDATE_ROOT[];  // "/upd": the UpdateInfo of the settings written

    void SetUp() override;
    void TearDown() override;

    // Writes Update.ini beside the test program: [SystemInfo] Server 127.0.0.1,
    // the port (the loopback server's unless given) and FileList, [Update]
    // UpdateInfo, then the item sections given as text ("\n" for line ends).
    void WriteInstalledSettings(const std::string& fileList, const std::string& sections, unsigned short nPort = 0);
    // Points TMP/TEMP at another directory (it need not exist).
    void SetTempDir(const std::string& path);
    // The check's temporary copy, as the dialog names it (TMP ends with "\").
    std::string VersionCopyPath() const;

    // Where a table row's server stands: the loopback server m_server, a port
    // where nothing listens (ClosedLoopbackPort), or a listener whose backlog
    // is full (kept in m_backlog until the next call). 0 when the backlog
    // could not be filled.
    enum class Server { Refused, BacklogFull, Reply };
    unsigned short PortFor(Server server);

    std::unique_ptr<CLoopbackServer> m_server;
    std::unique_ptr<CTempDir> m_tempDir;
    std::unique_ptr<CTempDir> m_installDir;
    std::unique_ptr<CBacklogFullListener> m_backlog;

private:
    std::string m_strOriginalTemp;
    std::string m_strTempPath;
};
