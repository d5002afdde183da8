#pragma once
// Names of elements and nodes as the document sees them: an element's own name, the compound
// name of a node (its ancestors' names joined), the part path and the feature path that the
// update and validation records keep, and the directory and file parts of a path.
//
// Names are read at their full size. The parent walks go through `doc`'s own GetParent, which
// refuses the document's hidden root, so the root never takes part in a name.
#include <string>

#include "Plenvort_h.h"

namespace node_names {

// The element name of `p` (queried for IAPElement). E_FAIL when `p` has no IAPElement or its
// size or name cannot be read.
HRESULT ElementName(IUnknown* p, std::string& name);

// The names from the top-level ancestor down to `node`, following each node's parent at
// index 0, joined with `separator`. E_FAIL when a name cannot be read or the parents loop.
HRESULT CompoundName(IAPDocument* doc, IAPNode* node, const char* separator, std::string& name);

// The names of the ancestors of `p` (parent at index 0, upward) up to and including the first
// one that answers IAPPartNode, joined outermost first with ":". An element that is not a
// node, or has no parent, has an empty part path.
HRESULT PartPath(IAPDocument* doc, IUnknown* p, std::string& path);

// The names of the ancestors of `p` taken upward while the ancestor is a feature, joined
// outermost first without a separator.
HRESULT FeaturePath(IAPDocument* doc, IUnknown* p, std::string& path);

// A path split after its last "\" or "/": the directory part keeps the separator, the file
// part is the rest. A path without separator is all file part.
std::string DirectoryPart(const std::string& path);
std::string FileNamePart(const std::string& path);

} // namespace node_names
