#include <iostream>

#include "commands.h"

int main(int argc, char** argv) { return orva::cli::RunOrvactl(argc, argv, std::cout, std::cerr); }
