// Compiled by the include-boundary checks with one header named on the command line.
#include PROBE_HEADER
