// Rewriting the heap references held inside an object (used when objects
// move between heaps). The collector's read-only walk is Heap::trace_object.
#pragma once

#include "vm/heap_object.h"
#include "vm/vmvalue.h"

namespace quorvel {

// Replaces every heap reference in the object that the map names; maps and
// sets are rebuilt, because their keys and members hash by key identity.
void remap_heap_refs(HeapObject& object, const HeapKeyMap& keys);

}  // namespace quorvel
