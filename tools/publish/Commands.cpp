#include "Commands.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "Crypto.h"
#include "Files.h"
#include "Ini.h"

namespace fs = std::filesystem;

namespace {

// The updater reads names into 50-byte buffers and FileList into 512 bytes:
// anything longer would be cut on the client and name another file.
const size_t kMaxName = 49;
const size_t kMaxFileList = 511;
const char kCopyName[] = "Update.zip";
const char kSigName[] = "Update.zip.sig";
const char kSecuritySection[] = "Security";

// One item of FileList with the names the updater derives for it.
struct Item {
    std::string section;
    std::string serverFile;
    std::string localFile;
};

void CheckOptions(const Options& opts, std::set<std::string> required, std::set<std::string> optional)
{
    for (const auto& [name, value] : opts)
        if (!required.count(name) && !optional.count(name))
            throw std::invalid_argument("unknown option --" + name);
    for (const std::string& name : required)
        if (!opts.count(name))
            throw std::invalid_argument("missing option --" + name);
}

// A path without trailing slashes, so that its last part names the directory itself.
std::string DirPath(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

// The pieces of FileList, cut at "," the way the updater cuts them: empty
// pieces kept, none after a trailing comma. "," is never the second byte of
// a GBK character, so a byte search is safe.
std::vector<std::string> SplitFileList(std::string text)
{
    std::vector<std::string> pieces;
    size_t pos;
    while (!text.empty() && (pos = text.find(',')) != std::string::npos) {
        pieces.push_back(text.substr(0, pos));
        text.erase(0, pos + 1);
    }
    if (!text.empty())
        pieces.push_back(text);
    return pieces;
}

// Empty when the name is safe as a file name on the server and on the
// client; otherwise what is wrong with it. GBK aware: the second byte of a
// double-byte character may be "\" or "|".
std::string NameProblem(const std::string& name)
{
    if (name.empty())
        return "is empty";
    if (name.size() > kMaxName)
        return "is longer than " + std::to_string(kMaxName) + " bytes";
    if (name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
        return "ends with a dot or a blank";
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (c < 0x20 || std::string("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string::npos)
            return "holds the character '" + std::string(1, static_cast<char>(c)) + "', not allowed in a file name";
    }
    if (EqualNoCase(name, kCopyName) || EqualNoCase(name, kSigName))
        return "is the name of the settings copy or its signature";
    return std::string();
}

// The items of the settings file, with each problem of their names added to problems.
std::vector<Item> ReadItems(const IniFile& ini, std::vector<std::string>& problems)
{
    std::string fileList = ini.Get("SystemInfo", "FileList").value_or("");
    if (fileList.size() > kMaxFileList)
        problems.push_back("FileList in [SystemInfo] is longer than " + std::to_string(kMaxFileList)
                           + " bytes; the updater reads only its beginning");
    std::vector<Item> items;
    for (const std::string& piece : SplitFileList(fileList)) {
        std::string base = piece.substr(0, piece.find('.'));
        Item item{piece, ini.Get(piece, "ServerFileName").value_or(base + ".zip"),
                  ini.Get(piece, "LocalFileName").value_or(base + ".exe")};
        for (const auto& [key, name] : {std::pair{"ServerFileName", item.serverFile},
                                        std::pair{"LocalFileName", item.localFile}}) {
            std::string problem = NameProblem(name);
            if (!problem.empty())
                problems.push_back("item [" + piece + "]: " + key + " \"" + name + "\" " + problem);
        }
        items.push_back(item);
    }
    if (items.empty())
        problems.push_back("the settings name no files (FileList in [SystemInfo] is empty)");
    return items;
}

// A version the updater compares as a number without surprises: digits with
// at most one decimal point. (It reads only a text's leading number, so
// 1.2.3 would read as 1.2.)
bool IsPlainVersion(const std::string& v)
{
    size_t dot = v.find('.');
    auto digits = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
    };
    return v.size() <= kMaxName && digits(v.substr(0, dot))
        && (dot == std::string::npos || digits(v.substr(dot + 1)));
}

void CheckServerNames(const std::vector<Item>& items, std::vector<std::string>& problems)
{
    for (size_t i = 0; i < items.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (EqualNoCase(items[i].serverFile, items[j].serverFile) && items[i].localFile != items[j].localFile) {
                problems.push_back("items [" + items[j].section + "] and [" + items[i].section
                                   + "] both use the server name " + items[i].serverFile);
                return;
            }
}

// The server directory may replace an older server directory, never anything else.
void CheckTarget(const std::string& out)
{
    fs::file_status st = fs::symlink_status(out);
    if (!fs::exists(st))
        return;
    if (!fs::is_directory(st))
        throw std::runtime_error(out + " exists and is not a directory");
    if (!fs::is_empty(out) && !fs::exists(fs::path(out) / kCopyName))
        throw std::runtime_error(out + " is not empty and holds no " + std::string(kCopyName)
                                 + "; it is not replaced");
}

[[noreturn]] void Refuse(const std::vector<std::string>& problems)
{
    std::string text = "refused:";
    for (const std::string& p : problems)
        text += "\n  - " + p;
    throw std::runtime_error(text);
}

EcKey VerifyKey(const Options& opts)
{
    if (opts.count("pubkey") == opts.count("key"))
        throw std::invalid_argument("give either --pubkey or --key");
    if (opts.count("key"))
        return EcKey::LoadPrivatePem(opts.at("key"));
    Bytes xy;
    if (!Base64Decode(opts.at("pubkey"), xy))
        throw std::runtime_error("--pubkey is not valid base64");
    return EcKey::FromPublicXY(xy);
}

std::string TrimSpace(const std::string& s)
{
    size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool IsHexDigest(const std::string& s)
{
    return s.size() == 64 && s.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// After a completed update the server's copy becomes the installed settings,
// so the template must pin the very key that signs it: without PublicKey the
// next update would run unchecked, with another key it would be refused for
// good. Its [Security] section goes into the copy as it is, so no item may
// share its name (the item's keys would be written into it).
void CheckPinnedKey(const IniFile& ini, const std::vector<Item>& items, const EcKey& key,
                    const std::string& keyPath, std::vector<std::string>& problems)
{
    std::optional<std::string> pinned = ini.Get(kSecuritySection, "PublicKey");
    Bytes xy;
    if (!pinned)
        problems.push_back("the template has no PublicKey in [Security]; installations updated with this"
                           " release would stop checking signatures (put in the line"
                           " \"zpublish pubkey --key " + keyPath + "\" prints)");
    else if (!Base64Decode(*pinned, xy) || xy != key.PublicXY())
        problems.push_back("PublicKey in [Security] of the template is not the public key of " + keyPath
                           + "; installations updated with this release would refuse every later one"
                           " (put in the line \"zpublish pubkey --key " + keyPath + "\" prints)");
    for (const Item& item : items)
        if (EqualNoCase(TrimSpace(item.section), kSecuritySection))
            problems.push_back("item [" + item.section + "] would write its versions into the [Security] section;"
                               " give the file another item name");
}

}  // namespace

int CmdKeygen(const Options& opts)
{
    CheckOptions(opts, {"out"}, {});
    EcKey key = EcKey::Generate();
    key.SavePrivatePem(opts.at("out"));
    fprintf(stderr, "zpublish: wrote the private key to %s; keep it secret.\n"
                    "Put this line into the [Security] section of the installed Update.ini:\n",
            opts.at("out").c_str());
    printf("PublicKey=%s\n", Base64Encode(key.PublicXY()).c_str());
    return 0;
}

int CmdPubkey(const Options& opts)
{
    CheckOptions(opts, {"key"}, {});
    printf("PublicKey=%s\n", Base64Encode(EcKey::LoadPrivatePem(opts.at("key")).PublicXY()).c_str());
    return 0;
}

int CmdBuild(const Options& opts)
{
    CheckOptions(opts, {"release", "template", "version", "key", "out"}, {"previous"});
    const std::string release = opts.at("release");
    const std::string version = opts.at("version");
    const std::string out = DirPath(opts.at("out"));
    if (!IsPlainVersion(version))
        throw std::runtime_error("version \"" + version + "\" is not a plain decimal number such as 1.2 or 2.05;"
                                 " the updater compares versions as numbers");
    EcKey key = EcKey::LoadPrivatePem(opts.at("key"));

    // 1. Every name the template gives must be usable and present in the release,
    //    and the template must pin this key.
    IniFile ini = IniFile::Parse(ReadWholeFile(opts.at("template")));
    std::vector<std::string> problems;
    std::vector<Item> items = ReadItems(ini, problems);
    CheckServerNames(items, problems);
    CheckPinnedKey(ini, items, key, opts.at("key"), problems);
    for (const Item& item : items)
        if (NameProblem(item.localFile).empty() && !fs::is_regular_file(fs::path(release) / item.localFile))
            problems.push_back("the release lacks " + item.localFile + " (item [" + item.section + "])");
    if (!problems.empty())
        Refuse(problems);
    std::optional<IniFile> previous;
    if (opts.count("previous"))
        previous = IniFile::Parse(ReadWholeFile((fs::path(opts.at("previous")) / kCopyName).string()));
    CheckTarget(out);

    // 2. Copy the bodies beside the final place, hashing as they are written.
    StagingDir staging(out);
    std::map<std::string, std::string> digests;  // by server name
    for (const Item& item : items)
        if (!digests.count(item.serverFile))
            digests[item.serverFile] = CopyFileHashing((fs::path(release) / item.localFile).string(),
                                                       (fs::path(staging.Path()) / item.serverFile).string());

    // 3. Versions: an unchanged body keeps the version it was published with.
    for (const Item& item : items) {
        const std::string& digest = digests[item.serverFile];
        std::string itemVersion = version;
        const char* state = "new";
        if (previous) {
            std::optional<std::string> oldDigest = previous->Get(item.section, "Sha256");
            std::optional<std::string> oldVersion = previous->Get(item.section, "CurrentVersion");
            if (oldDigest && oldVersion && Lower(*oldDigest) == digest) {
                itemVersion = *oldVersion;
                state = "unchanged";
            } else if (oldVersion) {
                state = "changed";
                // A changed file must read as newer, or no client would ever install it.
                if (!(atof(oldVersion->c_str()) < atof(version.c_str())))
                    throw std::runtime_error(item.localFile + " has changed, but version " + version
                                             + " is not above its previous version " + *oldVersion);
            }
        }
        ini.Set(item.section, "CurrentVersion", itemVersion);
        ini.Set(item.section, "Sha256", digest);
        printf("  %-24s %-10s %-9s -> %s\n", item.localFile.c_str(), itemVersion.c_str(), state,
               item.serverFile.c_str());
    }

    // 4. The settings copy and its signature, then the directory goes live.
    const std::string copy = ini.Serialize();
    WriteNewFile((fs::path(staging.Path()) / kCopyName).string(), copy);
    WriteNewFile((fs::path(staging.Path()) / kSigName).string(), Base64Encode(key.Sign(copy)));
    staging.Commit();
    printf("published %zu file(s) to %s\n", digests.size(), out.c_str());
    return 0;
}

int CmdVerify(const Options& opts)
{
    CheckOptions(opts, {"dir"}, {"pubkey", "key"});
    EcKey key = VerifyKey(opts);
    const fs::path dir(opts.at("dir"));
    int nFailures = 0;
    auto fail = [&](const std::string& text) {
        printf("FAIL %s\n", text.c_str());
        ++nFailures;
    };

    const std::string copy = ReadWholeFile((dir / kCopyName).string());
    Bytes sig;
    if (!fs::exists(dir / kSigName))
        fail(std::string(kSigName) + " is missing");
    else if (!Base64Decode(TrimSpace(ReadWholeFile((dir / kSigName).string())), sig) || sig.size() != 64)
        fail(std::string(kSigName) + " is not the base64 of a 64-byte signature");
    else if (!key.Verify(copy, sig))
        fail(std::string("the signature of ") + kCopyName + " does not verify with this key");

    IniFile ini = IniFile::Parse(copy);
    std::vector<std::string> problems;
    std::vector<Item> items = ReadItems(ini, problems);
    for (const std::string& p : problems)
        fail(p);
    std::map<std::string, std::string> digests;  // by server name, computed once
    for (const Item& item : items) {
        if (!NameProblem(item.serverFile).empty())
            continue;
        fs::path body = dir / item.serverFile;
        std::optional<std::string> expected = ini.Get(item.section, "Sha256");
        if (!expected || !IsHexDigest(*expected)) {
            fail("item [" + item.section + "] has no valid Sha256");
        } else if (!fs::is_regular_file(body)) {
            fail(item.serverFile + " is missing (item [" + item.section + "])");
        } else {
            if (!digests.count(item.serverFile))
                digests[item.serverFile] = HashFile(body.string());
            if (digests[item.serverFile] != Lower(*expected))
                fail(item.serverFile + " does not match its Sha256 (item [" + item.section + "])");
        }
    }
    if (nFailures)
        printf("verify: %d problem(s) in %s\n", nFailures, dir.c_str());
    else
        printf("verify: OK, signature and %zu file(s) in %s\n", digests.size(), dir.c_str());
    return nFailures ? 1 : 0;
}
