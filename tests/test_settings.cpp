// The installed settings as the dialog reads them through the Windows
// profile reader, and the file catalogue built from them.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/support/SettingsFixture.h"
#include "ui/UpdateDlg.h"

namespace {

struct Item {
    std::string section, localFile, serverFile, localVersion;
    bool operator==(const Item& o) const
    {
        return section == o.section && localFile == o.localFile && serverFile == o.serverFile &&
               localVersion == o.localVersion;
    }
};

std::ostream& operator<<(std::ostream& os, const Item& i)
{
    return os << "{" << i.section << ", " << i.localFile << ", " << i.serverFile << ", " << i.localVersion << "}";
}

std::vector<Item> Catalogue(CUpdateDlg& dlg)
{
    dlg.LoadFileList();
    std::vector<Item> items;
    for (INT_PTR i = 0; i < dlg.m_arrFiles.GetSize(); ++i) {
        const UpdateFileInfo& f = dlg.m_arrFiles[i];
        items.push_back({static_cast<LPCSTR>(f.strSection), static_cast<LPCSTR>(f.strLocalFile),
                         static_cast<LPCSTR>(f.strServerFile), static_cast<LPCSTR>(f.strLocalVersion)});
    }
    return items;
}

std::vector<std::string> Split(const std::string& text, char delimiter = ',')
{
    CUpdateDlg dlg;
    CStringArray pieces;
    pieces.Add("kept");  // pieces are appended after what the array holds
    dlg.SplitString(text.c_str(), delimiter, pieces);
    std::vector<std::string> result;
    for (INT_PTR i = 1; i < pieces.GetSize(); ++i)
        result.push_back(static_cast<LPCSTR>(pieces[i]));
    EXPECT_EQ("kept", std::string(pieces[0]));
    return result;
}

}  // namespace

class Settings : public SettingsFixture {};

TEST_F(Settings, NoSettingsFileGivesTheDefaults)
{
    CUpdateDlg dlg;
    EXPECT_EQ("127.0.0.1", std::string(dlg.m_strServer));
    EXPECT_EQ(80, dlg.m_nPort);
    EXPECT_EQ("/update", std::string(dlg.m_strUpdateRoot));
    EXPECT_EQ("/update/Update.zip", std::string(dlg.m_strVersionPath));
    EXPECT_TRUE(Catalogue(dlg).empty());
    EXPECT_EQ(0x20200010u, dlg.m_dwRequestFlags);
    EXPECT_FALSE(dlg.m_bAutoMode);
    EXPECT_EQ("点击下一步查看可用的更新", std::string(dlg.m_strStatus));
}

TEST_F(Settings, PathsOfTheInstallationAndTheTemporaryDirectory)
{
    CUpdateDlg dlg;
    EXPECT_EQ(ExecutableDir(), std::string(dlg.m_strAppDir));
    EXPECT_EQ(m_tempDir->Path() + "\\", std::string(dlg.m_strTempDir));
    EXPECT_NE(nullptr, dlg.m_hIcon);
}

TEST_F(Settings, PortIsReadAsAtoiAndCutTo16Bits)
{
    const struct { const char* line; int port; } cases[] = {
        {"Port=8080", 8080},
        {"Port=80abc", 80},
        {"Port=", 0},
        {"Port=65616", 80},
        {"Port=-1", 65535},
        {"Port=  81", 81},
        {"Port=abc", 0},
    };
    for (const auto& c : cases) {
        WriteSettings(std::string("[SystemInfo]\n") + c.line + "\n");
        CUpdateDlg dlg;
        EXPECT_EQ(c.port, dlg.m_nPort) << c.line;
    }
}

TEST_F(Settings, UpdateInfoIsABarePrefix)
{
    const struct { const char* value; const char* versionPath; } cases[] = {
        {"/soft/new", "/soft/new/Update.zip"},
        {"/soft/", "/soft//Update.zip"},
        {"", "/Update.zip"},
    };
    for (const auto& c : cases) {
        WriteSettings(std::string("[Update]\nUpdateInfo=") + c.value + "\n");
        CUpdateDlg dlg;
        EXPECT_EQ(c.value, std::string(dlg.m_strUpdateRoot));
        EXPECT_EQ(c.versionPath, std::string(dlg.m_strVersionPath));
    }
}

TEST_F(Settings, OverlongValuesAreCutToTheirBuffers)
{
    const std::string server(200, 's'), root(200, 'r'), version(60, '9'), list(600, 'x');
    WriteSettings("[SystemInfo]\nServer=" + server + "\nFileList=" + list + "\n[Update]\nUpdateInfo=" + root +
                  "\n[" + std::string(511, 'x') + "]\nCurrentVersion=" + version + "\n");
    CUpdateDlg dlg;
    EXPECT_EQ(server.substr(0, 127), std::string(dlg.m_strServer));
    EXPECT_EQ(root.substr(0, 127), std::string(dlg.m_strUpdateRoot));
    const std::vector<Item> items = Catalogue(dlg);
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(511u, items[0].section.size());
    EXPECT_EQ(version.substr(0, 49), items[0].localVersion);
}

TEST_F(Settings, WorkedExampleGivesThreeItems)
{
    WriteSettings(
        "[SystemInfo]\nPort=81\nFileList=Client.exe,Tools.dll,Readme\n\n"
        "[Update]\nUpdateInfo=/soft\n\n"
        "[Client.exe]\nCurrentVersion=1.2\nServerFileName=Client.zip\nLocalFileName=Client.exe\n\n"
        "[Tools.dll]\nCurrentVersion=2.05\n");
    CUpdateDlg dlg;
    EXPECT_EQ(81, dlg.m_nPort);
    EXPECT_EQ("/soft/Update.zip", std::string(dlg.m_strVersionPath));
    const std::vector<Item> expected = {
        {"Client.exe", "Client.exe", "Client.zip", "1.2"},
        {"Tools.dll", "Tools.exe", "Tools.zip", "2.05"},
        {"Readme", ".exe", ".zip", "1.0"},
    };
    EXPECT_EQ(expected, Catalogue(dlg));
}

TEST_F(Settings, CatalogueItemsAndTheirDefaults)
{
    WriteSettings(
        "[SystemInfo]\nFileList=Client.beta.exe, B.exe,,a.exe,a.exe,CLIENT.EXE,Empty.exe\n"
        "[client.exe]\nCurrentVersion=3.0\nLocalFileName=sub\\Client.exe\n"
        "[a.exe]\nCurrentVersion=1.5\n"
        "[Empty.exe]\nCurrentVersion=\n");
    CUpdateDlg dlg;
    const std::vector<Item> expected = {
        {"Client.beta.exe", "Client.exe", "Client.zip", "1.0"},
        {" B.exe", " B.exe", " B.zip", "1.0"},
        {"", ".exe", ".zip", "1.0"},
        {"a.exe", "a.exe", "a.zip", "1.5"},
        {"a.exe", "a.exe", "a.zip", "1.5"},
        {"CLIENT.EXE", "sub\\Client.exe", "CLIENT.zip", "3.0"},
        {"Empty.exe", "Empty.exe", "Empty.zip", ""},
    };
    EXPECT_EQ(expected, Catalogue(dlg));
}

TEST_F(Settings, NoFileListGivesAnEmptyCatalogue)
{
    for (const char* content : {"[SystemInfo]\nServer=x\n", "[SystemInfo]\nFileList=\n"}) {
        WriteSettings(content);
        CUpdateDlg dlg;
        EXPECT_TRUE(Catalogue(dlg).empty()) << content;
    }
}

TEST(SplitString, PiecesBetweenDelimiters)
{
    const struct { std::string text; std::vector<std::string> pieces; } cases[] = {
        {"", {}},
        {"A.exe", {"A.exe"}},
        {"A.exe,B.exe", {"A.exe", "B.exe"}},
        {"A.exe,B.exe,", {"A.exe", "B.exe"}},
        {",A.exe", {"", "A.exe"}},
        {"A.exe,,B.exe", {"A.exe", "", "B.exe"}},
        {",", {""}},
        {",,", {"", ""}},
        {"A.exe, B.exe", {"A.exe", " B.exe"}},
        // A double-byte character whose second byte is the delimiter's byte.
        {"\x81,x.exe,y.exe", {"\x81,x.exe", "y.exe"}},
        {"升级.exe,工具.dll", {"升级.exe", "工具.dll"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.pieces, Split(c.text)) << "text: " << c.text;
}
