#include "cli/Cli.h"
#include "core/settings/PasswordVault.h"

#include <iostream>

// Questions and passwords go to the controlling terminal when there is one.
int main(int argc, char** argv)
{
    // Passwords the user chose to keep in the desktop's keyring are read from there.
    kestrava::settings::setPasswordVault(kestrava::settings::makeSecretServiceVault());
    std::vector<std::string> args(argv + 1, argv + argc);
    kestrava::cli::Io io{std::cin, std::cout, std::cerr, true};
    return kestrava::cli::runCli(args, io);
}
