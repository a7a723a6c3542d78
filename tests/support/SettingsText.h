// Settings files as the tests write them (the installed Update.ini) and serve
// them (the server's copy): built from where they point and the items they
// maintain, so that a test states only what its case is about.
//
//   SettingsText({"127.0.0.1", nPort, "/upd"}, {{"a.exe", "1.0"}, {"out", "1.0", "..\\out.exe"}}, ".zip")
//
// gives, with CRLF line ends:
//
//   [SystemInfo] Server=127.0.0.1, Port=nPort, FileList=a.exe,out
//   [Update]     UpdateInfo=/upd
//   [a.exe]      CurrentVersion=1.0, ServerFileName=a.zip, LocalFileName=a.exe
//   [out]        CurrentVersion=1.0, ServerFileName=out.zip, LocalFileName=..\out.exe
#pragma once
#include <string>
#include <vector>

// Where the settings point: [SystemInfo] Server and Port, [Update] UpdateInfo.
struct SettingsTarget {
    std::string server;
    unsigned short nPort;
    std::string updateInfo;
};

// One maintained file: its FileList entry and section name, its
// CurrentVersion, and its LocalFileName when that is not the section name.
struct SettingsItem {
    SettingsItem(const std::string& s, const std::string& v, const std::string& l = "")
        : section(s), version(v), localName(l)
    {
    }
    std::string section;
    std::string version;
    std::string localName;  // empty: the section name
};

// The [SystemInfo] and [Update] sections, "\n" line ends.
std::string SettingsHead(const SettingsTarget& target, const std::string& fileList);

// The name the tests give an item's file on the server: the section name up
// to its first '.', then the extension ("a.exe", ".zip" -> "a.zip").
std::string ServerFileName(const std::string& section, const std::string& extension);

// A whole settings file, CRLF line ends: the head with the items' sections
// as FileList, the further sections given as text ("\n" line ends, e.g. a
// [Security] section), then one section per item with its ServerFileName.
std::string SettingsText(const SettingsTarget& target, const std::vector<SettingsItem>& items,
                         const std::string& serverExtension, const std::string& furtherSections = "");
