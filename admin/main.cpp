#include "admin/cfgtool.h"

int main(int argc, char** argv) { return cfgtoolMain(argc, argv); }
