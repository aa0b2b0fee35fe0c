// The start-up yardstick: a C++ program that does nothing, compiled and
// linked as vornet is, so that the cost of starting a process on this host
// is measured apart from what vornet adds to it.
int main() {}
