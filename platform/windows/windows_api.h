#pragma once
// <windows.h> as every Windows unit of ours takes it: without the rarely
// used parts and without the min and max macros, which clash with <algorithm>.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
