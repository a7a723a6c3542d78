// zpublish: publishes a release for the updater (keys, signed server
// directory, verification). Run without arguments for its usage.
#include <cstdio>
#include <stdexcept>

#include "Commands.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  zpublish keygen --out key.pem\n"
    "  zpublish pubkey --key key.pem\n"
    "  zpublish build --release DIR --template Update.ini --version V --key key.pem\n"
    "                 --out SERVERDIR [--previous OLDSERVERDIR]\n"
    "  zpublish verify (--pubkey BASE64 | --key key.pem) --dir SERVERDIR\n";

int Usage(const char* problem)
{
    fprintf(stderr, "zpublish: %s\n%s", problem, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage("no command given");
    const std::string command = argv[1];
    Options opts;
    for (int i = 2; i < argc; i += 2) {
        std::string name = argv[i];
        if (name.size() < 3 || name.compare(0, 2, "--") != 0 || i + 1 >= argc)
            return Usage(("expected --option value, not: " + name).c_str());
        opts[name.substr(2)] = argv[i + 1];
    }
    try {
        if (command == "keygen")
            return CmdKeygen(opts);
        if (command == "pubkey")
            return CmdPubkey(opts);
        if (command == "build")
            return CmdBuild(opts);
        if (command == "verify")
            return CmdVerify(opts);
        return Usage(("unknown command: " + command).c_str());
    } catch (const std::invalid_argument& e) {
        return Usage(e.what());
    } catch (const std::exception& e) {
        fprintf(stderr, "zpublish %s: %s\n", command.c_str(), e.what());
        return 1;
    }
}
