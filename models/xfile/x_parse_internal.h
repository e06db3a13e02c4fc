// What the object loop and the template parsers share: the template table,
// arrays from the tree's block chain, and one parser per template with data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "models/xfile/x_reader.h"
#include "models/xfile/x_tokens_internal.h"

namespace tessel {

// The template's name, or null for an empty table position.
const char* XTemplateName(int type);
// The type whose template has this name (ASCII case ignored), or kXNone.
int XTemplateType(const char* name);
uint32_t XPayloadSize(int type);

// count zero-filled items from the tree's chain (a count of 0 gives one
// item); null after the chain's log line, or when count is negative.
void* XChainArray(XObjectTree* tree, int64_t count, size_t itemBytes);
// A NUL-terminated chain copy of the span; null on failure.
char* XChainText(XObjectTree* tree, const XSpan& text);

// Reads the template's own data after its opening brace. False after the
// template's own log line, if any; the loop then names the object.
using XTemplateParser = bool (*)(XTokens& in, XObjectTree* tree, XObject* object);
// Null for templates without data of their own.
XTemplateParser XParserFor(int type);

}  // namespace tessel
