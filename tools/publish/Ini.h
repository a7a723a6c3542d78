// A settings file held as its lines, so that a few keys can be read and set
// while every other byte (comments, GBK texts, order of sections) stays as
// it was. Names are compared the way the Windows profile reader compares
// them: blanks around them ignored, ASCII letters in any case.
#pragma once
#include <optional>
#include <string>
#include <vector>

class IniFile {
public:
    // Accepts LF or CRLF line ends; the bytes of each line are kept as they are.
    static IniFile Parse(const std::string& bytes);

    // The value of the first such key in the first such section, with blanks
    // and one pair of enclosing quotes removed; nullopt when absent.
    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // Replaces the key's line, or adds one at the end of the section, or adds
    // the section at the end of the file.
    void Set(const std::string& section, const std::string& key, const std::string& value);

    // The whole file with CRLF line ends.
    std::string Serialize() const;

private:
    int FindSection(const std::string& section) const;  // header line or -1
    int SectionEnd(int nHeader) const;                    // one past its last line

    std::vector<std::string> m_lines;
};

// Whether two names are equal ignoring ASCII case.
bool EqualNoCase(const std::string& a, const std::string& b);
