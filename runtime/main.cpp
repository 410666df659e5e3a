// The zem executable.
#include "runtime/runtime.h"

int main(int argc, char** argv) { runtime::entry(argc, argv); }
