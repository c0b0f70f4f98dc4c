#pragma once

// Programs that use emulated devices see them only through umockdev's
// preload library, which must be loaded before the program starts. Called
// first thing in main(): when the library is missing, the program restarts
// itself with it (and returns only if that fails, with a message), so that it
// runs alike under CTest and by hand. True when the library is in place.
bool runWithUmockdevPreload(char **argv);
