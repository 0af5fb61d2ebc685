// Code addresses in the language's 32-bit cells: jump stubs below 2 GiB.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nx {

// The address the language is given for a routine: the routine's own when it
// fits a positive Long, else a jump stub below 2 GiB that enters it (0 when no
// stub can be made).
intptr_t languageCodeAddress(intptr_t address);

// The routine behind an address the language gave back: a stub's target, any
// other address unchanged.
intptr_t engineCodeAddress(intptr_t address);

// True when the address lies in executable memory. Addresses the engine calls
// outside an evaluation (error handlers, type handlers, runners) are checked
// when they are registered, so that a number that is no routine is refused
// with an error instead of ending the process when it is called.
bool isExecutableAddress(intptr_t address);

// True when `size` bytes from the address lie in mapped memory.
bool isMappedAddress(intptr_t address, size_t size);

} // namespace nx
