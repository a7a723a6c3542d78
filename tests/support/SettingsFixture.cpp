#include "tests/support/SettingsFixture.h"

#include <windows.h>

void SettingsFixture::SetUp()
{
    DeleteFileA(SettingsPath().c_str());
    m_tempDir = std::make_unique<CTempDir>();
    SetProcessTempDir(m_tempDir->Path() + "\\");
}

void SettingsFixture::TearDown()
{
    DeleteFileA(SettingsPath().c_str());
    m_tempDir.reset();
}

void SettingsFixture::WriteSettings(const std::string& content)
{
    ASSERT_TRUE(WriteWholeFile(SettingsPath(), Crlf(content)));
}

std::string SettingsFixture::SettingsPath() const
{
    return ExecutableDir() + "\\Update.ini";
}
