// The usage catalog's check, on the bytes that catopen will be given.
#pragma once

#include <cstddef>

// True when catopen, and catgets for any message, read only inside these
// bytes; otherwise the reason is kept for --diagnose.
bool tvk_catalog_sound(const unsigned char* bytes, std::size_t size);
