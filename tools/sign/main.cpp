#include "sign/SignTool.h"

#include <iostream>

int main(int argc, char** argv)
{
    return kestrava::tools::runSignTool(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                        std::cerr);
}
