#include "tests/support/SettingsText.h"
#include "tests/support/TestFiles.h"

std::string SettingsHead(const SettingsTarget& target, const std::string& fileList)
{
    return "[SystemInfo]\nServer=" + target.server + "\nPort=" + std::to_string(target.nPort) +
           "\nFileList=" + fileList + "\n[Update]\nUpdateInfo=" + target.updateInfo + "\n";
}

std::string ServerFileName(const std::string& section, const std::string& extension)
{
    return section.substr(0, section.find('.')) + extension;
}

std::string SettingsText(const SettingsTarget& target, const std::vector<SettingsItem>& items,
                         const std::string& serverExtension, const std::string& furtherSections)
{
    std::string list, sections;
    for (const SettingsItem& item : items) {
        list += (list.empty() ? "" : ",") + item.section;
        sections += "[" + item.section + "]\nCurrentVersion=" + item.version + "\nServerFileName=" +
                    ServerFileName(item.section, serverExtension) + "\nLocalFileName=" +
                    (item.localName.empty() ? item.section : item.localName) + "\n";
    }
    return Crlf(SettingsHead(target, list) + furtherSections + sections);
}
