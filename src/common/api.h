// Export marker for the functions a host or a sibling program of the family
// may call by name.  Everything not marked stays hidden in libvox42.so.
#pragma once

#define VOX_API __attribute__((visibility("default")))
