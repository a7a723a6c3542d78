#include "Ini.h"

namespace {

std::string Trim(const std::string& s)
{
    const char* kBlanks = " \t";
    size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return std::string();
    size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

// The section name of a header line "[name]", or nullopt for any other line.
std::optional<std::string> HeaderName(const std::string& line)
{
    std::string t = Trim(line);
    if (t.empty() || t[0] != '[')
        return std::nullopt;
    size_t close = t.find(']');
    return Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

// Splits "key=value" into its trimmed parts; false for a line without "=".
bool SplitKeyLine(const std::string& line, std::string& key, std::string& value)
{
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return true;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

IniFile IniFile::Parse(const std::string& bytes)
{
    IniFile ini;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ini.m_lines.push_back(line);
        start = end + 1;
    }
    return ini;
}

int IniFile::FindSection(const std::string& section) const
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        std::optional<std::string> name = HeaderName(m_lines[i]);
        if (name && EqualNoCase(*name, Trim(section)))
            return static_cast<int>(i);
    }
    return -1;
}

int IniFile::SectionEnd(int nHeader) const
{
    size_t i = nHeader + 1;
    while (i < m_lines.size() && !HeaderName(m_lines[i]))
        ++i;
    return static_cast<int>(i);
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const
{
    int nHeader = FindSection(section);
    if (nHeader < 0)
        return std::nullopt;
    for (int i = nHeader + 1; i < SectionEnd(nHeader); ++i) {
        std::string k, v;
        if (!SplitKeyLine(m_lines[i], k, v) || !EqualNoCase(k, Trim(key)))
            continue;
        if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
            v = v.substr(1, v.size() - 2);
        return v;
    }
    return std::nullopt;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string line = key + "=" + value;
    int nHeader = FindSection(section);
    if (nHeader < 0) {
        if (!m_lines.empty() && !Trim(m_lines.back()).empty())
            m_lines.push_back(std::string());
        m_lines.push_back("[" + section + "]");
        m_lines.push_back(line);
        return;
    }
    int nEnd = SectionEnd(nHeader);
    int nLastFilled = nHeader;
    for (int i = nHeader + 1; i < nEnd; ++i) {
        std::string k, v;
        if (SplitKeyLine(m_lines[i], k, v) && EqualNoCase(k, Trim(key))) {
            m_lines[i] = line;
            return;
        }
        if (!Trim(m_lines[i]).empty())
            nLastFilled = i;
    }
    // After the section's last line that is not blank, so that the blank line
    // before the next section stays where it was.
    m_lines.insert(m_lines.begin() + nLastFilled + 1, line);
}

std::string IniFile::Serialize() const
{
    std::string out;
    for (const std::string& line : m_lines)
        out += line + "\r\n";
    return out;
}
