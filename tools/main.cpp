// korvex-decode: decodes the I2C bus in a recorded logic capture, headless.
#include "decodecommand.h"

#include <iostream>

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    return korvex::runDecodeCommand(argc, argv, std::cout, std::cerr);
}
