// korvex-decode: decodes the I2C bus in a recorded logic capture, headless.
#include "tools/decodecommand.h"

#include <iostream>

#include <unistd.h>

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    return korvex::runDecodeCommand(argc, argv, std::cout, STDOUT_FILENO, std::cerr);
}
