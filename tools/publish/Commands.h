// The commands of zpublish. Each returns the process exit code; errors that
// end a command early are thrown as std::runtime_error with their text.
#pragma once
#include <map>
#include <string>

using Options = std::map<std::string, std::string>;  // "--name value" pairs, without "--"

int CmdKeygen(const Options& opts);
int CmdPubkey(const Options& opts);
int CmdBuild(const Options& opts);
int CmdVerify(const Options& opts);
