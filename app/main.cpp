// The zem executable.
#include "app/runtime.h"

int main(int argc, char** argv) { runtime::entry(argc, argv); }
