// Build tool: writes kestrava-cli's manual page and shell completions from its command table.
// Usage: kestrava-cli-reference VERSION MANPAGE BASH_COMPLETION ZSH_COMPLETION
#include "cli/reference/CliReference.h"

#include <fstream>
#include <functional>
#include <iostream>

namespace {

bool writeFile(const char* path, const std::function<void(std::ostream&)>& write)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    write(out);
    out.flush();
    if (!out) {
        std::cerr << "kestrava-cli-reference: cannot write " << path << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    namespace ref = kestrava::cli::reference;
    if (argc != 5) {
        std::cerr << "usage: kestrava-cli-reference VERSION MANPAGE BASH_COMPLETION ZSH_COMPLETION\n";
        return 2;
    }
    const std::string version = argv[1];
    const bool written = writeFile(argv[2], [&](std::ostream& out) { ref::writeManPage(out, version); }) &&
                         writeFile(argv[3], ref::writeBashCompletion) &&
                         writeFile(argv[4], ref::writeZshCompletion);
    return written ? 0 : 1;
}
