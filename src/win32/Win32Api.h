// The Windows headers as the host includes them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// The prompter and the view have operations of these names; the host calls the wide functions by their own
// names.
#undef MessageBox
#undef ReplaceText
