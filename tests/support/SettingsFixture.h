// Writes the installed settings file beside the test program, where the
// dialog reads it, and removes it afterwards; gives each test a fresh
// temporary directory as the process's TMP/TEMP.
#pragma once
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include "tests/support/TestFiles.h"

class SettingsFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes Update.ini beside the test program (lines joined with CRLF).
    void WriteSettings(const std::string& content);
    std::string SettingsPath() const;

    std::unique_ptr<CTempDir> m_tempDir;
};
