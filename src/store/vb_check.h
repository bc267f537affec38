// The integrity check of a value base and its store, stricter than what
// opening needs: every block of the file is the header's, free, or owned by
// exactly one handle reachable from the value base; every container's
// reference count equals the container values that hold it (the root's
// one more); every atom in a container is in the dictionary, and the
// dictionary hands out each atom once, below the next atom.
#pragma once

#include <string>
#include <vector>

class CValueBase;

// One line per problem; empty when the value base is sound. Containers are
// read straight from their blocks, so the check changes nothing.
std::vector<std::string> CheckValueBase(CValueBase* vb);
