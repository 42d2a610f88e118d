// The Windows headers as the host includes them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// The prompter has an operation of this name; the host calls the wide function by its own name.
#undef MessageBox
