// RC_API marks the library's public classes and functions. The library is
// built with hidden visibility, so only what carries this mark (and what a
// linker version script lets through) is exported from the shared object.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define RC_API __attribute__((visibility("default")))
#else
#define RC_API
#endif
