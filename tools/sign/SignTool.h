// kestrava-sign: makes the publisher's key pair, signs installers and checks signatures.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kestrava::tools {

// Exit codes: 0 done (or valid), 1 failed (or not valid; one line on err says why), 2 usage.
int runSignTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace kestrava::tools
