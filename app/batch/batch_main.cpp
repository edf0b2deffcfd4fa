// gravlag-batch: the panel and the run on in-memory windows, driven from the command line.
#include <iostream>

#include <unistd.h>

#include "app/batch/batch_cli.h"

int main(int argc, char** argv)
{
    return gravlag::BatchMain(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
